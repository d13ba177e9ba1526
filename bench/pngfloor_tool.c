/* Floor for PNG decoding: libpng's simplified API into a BGR buffer, nothing else. */
#include <png.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  png_image Img = {0};
  Img.version = PNG_IMAGE_VERSION;
  if (argc < 2 || !png_image_begin_read_from_file(&Img, argv[1])) return 1;
  Img.format = PNG_FORMAT_BGR;
  void* Buf = malloc(PNG_IMAGE_SIZE(Img));
  if (!Buf || !png_image_finish_read(&Img, NULL, Buf, 0, NULL)) return 1;
  printf("%u x %u\n", Img.width, Img.height);
  free(Buf);
  return 0;
}
