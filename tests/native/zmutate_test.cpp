// zmutate: the damaged copies it makes of a package. Those it says it recomputed the
// checksum for must pass the reader's checksum, or the matrix would test the checksum
// rather than the reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "package/PackX.h"
#include "tools/zmutate/ZMutate.h"
#include "tools/zpack/ZPack.h"

namespace fs = std::filesystem;

namespace {

std::string Write(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
  return path.string();
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ZMutate, CopiesWithARecomputedChecksumPassIt) {
  const fs::path dir = fs::temp_directory_path() / "zmutate_test";
  fs::remove_all(dir);
  fs::create_directories(dir);
  std::string stub(1024, '\0');
  stub[0] = 'M', stub[1] = 'Z', stub[0x3D] = 1, stub[256] = 'P', stub[257] = 'E';  // PE header at 256
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line " + std::to_string(i) + "\n";
  std::string noise;
  for (int i = 0; i < 5000; ++i) noise += char((i * 7919) >> 3);
  std::ostringstream out, err;
  ASSERT_EQ(zpack::Main({"--stub", Write(dir / "stub.exe", stub), "-o", (dir / "setup.exe").string(), "--engine",
                         Write(dir / "Engine.exe", "engine bytes"), "--file", Write(dir / "text.txt", text), "--file",
                         Write(dir / "noise.bin", noise)},
                        out, err),
            0)
      << err.str();

  zmutate::Package package;
  std::string error;
  ASSERT_TRUE(zmutate::ReadPackage(Read(dir / "setup.exe"), package, error)) << error;
  zmutate::Plan plan;
  plan.full = true;
  plan.bombBytes = 1 << 20;
  int checked = 0;
  std::set<std::string> kinds;
  zmutate::MakeVariants(package, plan, [&](const zmutate::Variant& variant) {
    const std::string kind = variant.name.substr(0, variant.name.find('-'));
    kinds.insert(kind);
    // Flips of the trailer's length and of PackEndPos move the trailer the reader finds.
    const bool trailerMoved = variant.name.rfind("flip-trailersize", 0) == 0 || variant.name.rfind("flip-packend", 0) == 0;
    if (kind == "cut" || trailerMoved) return true;
    const std::string file = Write(dir / "variant.exe", variant.image);
    PackTrailer trailer{};
    ReadTrailer(file, trailer);
    EXPECT_EQ(trailer.PackMagic, pack::kPackMagic) << variant.name;
    EXPECT_TRUE(CheckSumAccepted(PackCheckSum(file, trailer.TrailerSize), trailer.CheckSum)) << variant.name;
    ++checked;
    return true;
  });
  EXPECT_GT(checked, 100);
  EXPECT_EQ(kinds, (std::set<std::string>{"bomb", "cut", "cutfix", "flip", "name"}));
  fs::remove_all(dir);
}

}  // namespace
