// The EXIF window library.
