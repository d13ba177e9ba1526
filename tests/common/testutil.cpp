#include "tests/common/testutil.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace orbisk::test {

std::string CorpusDir() {
  if (const char* Env = std::getenv("ORBISK_CORPUS_DIR")) return Env;
  std::error_code Ec;
  if (fs::exists(fs::path(ORBISK_CORPUS_DIR) / "MANIFEST.tsv", Ec)) return ORBISK_CORPUS_DIR;
  return "";
}

static std::vector<std::string> Split(const std::string& S, char Sep) {
  std::vector<std::string> Parts;
  std::string Cur;
  std::istringstream In(S);
  while (std::getline(In, Cur, Sep))
    Parts.push_back(Cur);
  if (!S.empty() && S.back() == Sep) Parts.emplace_back();
  return Parts;
}

std::vector<ManifestEntry> ReadManifest() {
  std::vector<ManifestEntry> Out;
  std::string Dir = CorpusDir();
  if (Dir.empty()) return Out;
  std::ifstream In(fs::path(Dir) / "MANIFEST.tsv");
  std::string Line;
  std::getline(In, Line); // column names
  while (std::getline(In, Line)) {
    auto Cols = Split(Line, '\t');
    if (Cols.size() < 3) continue;
    ManifestEntry E;
    E.Path = Cols[0];
    E.Format = Cols[1];
    E.Category = Cols[2];
    if (Cols.size() > 3 && !Cols[3].empty()) E.References = Split(Cols[3], ',');
    if (Cols.size() > 6) E.Note = Cols[6];
    Out.push_back(std::move(E));
  }
  return Out;
}

std::vector<ManifestEntry> ManifestFor(const std::string& Format) {
  std::vector<ManifestEntry> Out;
  for (auto& E : ReadManifest())
    if (E.Format == Format) Out.push_back(E);
  return Out;
}

bool RGBAImage::Opaque() const {
  for (size_t I = 3; I < Pixels.size(); I += 4)
    if (Pixels[I] != 255) return false;
  return true;
}

bool LoadPNGReference(const std::string& Path, RGBAImage& Out) {
  png_image Img{};
  Img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&Img, Path.c_str())) return false;
  Img.format = PNG_FORMAT_RGBA;
  Out.Width = static_cast<int>(Img.width);
  Out.Height = static_cast<int>(Img.height);
  Out.Pixels.assign(PNG_IMAGE_SIZE(Img), 0);
  // No colour-space conversion: references are compared as stored.
  if (!png_image_finish_read(&Img, nullptr, Out.Pixels.data(), 0, nullptr)) {
    png_image_free(&Img);
    return false;
  }
  return true;
}

RGBAImage ToRGBA(const TPixelGraphic& G) {
  RGBAImage R;
  R.Width = G.Width();
  R.Height = G.Height();
  R.Pixels.resize(size_t(R.Width) * R.Height * 4);
  size_t P = 0;
  for (int Y = 0; Y < R.Height; ++Y)
    for (int X = 0; X < R.Width; ++X) {
      TRGB C = G.GetPixelColor(X, Y);
      R.Pixels[P++] = RedOf(C);
      R.Pixels[P++] = GreenOf(C);
      R.Pixels[P++] = BlueOf(C);
      R.Pixels[P++] = 255;
    }
  return R;
}

int64_t CountDifferences(const RGBAImage& A, const RGBAImage& B, bool Alpha, int Tolerance) {
  if (A.Width != B.Width || A.Height != B.Height) return -1;
  int64_t N = 0;
  for (size_t I = 0; I < A.Pixels.size(); I += 4) {
    int Channels = Alpha ? 4 : 3;
    for (int C = 0; C < Channels; ++C)
      if (std::abs(int(A.Pixels[I + C]) - int(B.Pixels[I + C])) > Tolerance) {
        ++N;
        break;
      }
  }
  return N;
}

bool HaveTool(const std::string& Tool) {
  return std::system(("command -v " + Tool + " >/dev/null 2>&1").c_str()) == 0;
}

bool RunTool(const std::string& Command) {
  return std::system((Command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string TempPath(const std::string& Name) {
  // The test process's own folder, removed when the process ends (not by a child that exits
  // without exec).
  struct TTempDir {
    fs::path Path = fs::temp_directory_path() / ("orbisk-test-" + std::to_string(getpid()));
    pid_t Owner = getpid();
    TTempDir() { fs::create_directories(Path); }
    ~TTempDir() {
      std::error_code Ignored;
      if (getpid() == Owner) fs::remove_all(Path, Ignored);
    }
  };
  static TTempDir Dir;
  return (Dir.Path / Name).string();
}

std::string EmptyTempFolder(const std::string& Name) {
  const std::string D = TempPath(Name);
  fs::remove_all(D);
  fs::create_directories(D);
  return D;
}

std::vector<uint8_t> ReadFileBytes(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(In)),
                              std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::string& Path, const std::vector<uint8_t>& Data) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Data.data()), std::streamsize(Data.size()));
  Out.close();
  // A fixture that was not written would make the test about something else.
  if (!Out) ADD_FAILURE() << "cannot write the fixture " << Path;
}

static std::string Slurp(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
}

int RunCli(const std::vector<std::string>& Args, std::string* Out, std::string* Err) {
  static int Counter = 0;
  std::string OutPath = TempPath("cli-out-" + std::to_string(++Counter));
  std::string ErrPath = OutPath + ".err";
  pid_t Pid = fork();
  if (Pid == 0) {
    if (!std::freopen(OutPath.c_str(), "w", stdout) || !std::freopen(ErrPath.c_str(), "w", stderr))
      _exit(127);
    std::vector<char*> Argv;
    std::string Exe = ORBISK_CLI_PATH;
    Argv.push_back(Exe.data());
    std::vector<std::string> Copy = Args;
    for (auto& A : Copy)
      Argv.push_back(A.data());
    Argv.push_back(nullptr);
    execv(Exe.c_str(), Argv.data());
    _exit(127);
  }
  int Status = 0;
  waitpid(Pid, &Status, 0);
  if (Out) *Out = Slurp(OutPath);
  if (Err) *Err = Slurp(ErrPath);
  return WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
}

} // namespace orbisk::test
