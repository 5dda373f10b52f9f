// Scrubber.exe as a program: a windowless GUI-subsystem executable that
// needs none of the package's libraries, ends with 0 and prints nothing.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/scrubber/run_scrubber.h"
#include "tests/scrubber/registry_bed.h"

namespace {

struct PeImage {
  std::vector<char> bytes;

  template <class T>
  const T* at(size_t offset) const {
    return offset + sizeof(T) <= bytes.size() ? reinterpret_cast<const T*>(&bytes[offset]) : nullptr;
  }
  const IMAGE_NT_HEADERS* nt() const {
    const auto* dos = at<IMAGE_DOS_HEADER>(0);
    if (dos == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE) return nullptr;
    const auto* h = at<IMAGE_NT_HEADERS>(dos->e_lfanew);
    return h != nullptr && h->Signature == IMAGE_NT_SIGNATURE ? h : nullptr;
  }
  // File offset of a relative virtual address, through the section table.
  size_t offsetOf(DWORD rva) const {
    const IMAGE_NT_HEADERS* h = nt();
    const IMAGE_SECTION_HEADER* s = IMAGE_FIRST_SECTION(h);
    for (WORD i = 0; i < h->FileHeader.NumberOfSections; ++i, ++s) {
      if (rva >= s->VirtualAddress && rva < s->VirtualAddress + s->SizeOfRawData)
        return rva - s->VirtualAddress + s->PointerToRawData;
    }
    return bytes.size();
  }
  std::vector<std::string> importedModules() const {
    std::vector<std::string> names;
    const auto& dir = nt()->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (size_t off = offsetOf(dir.VirtualAddress);; off += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
      const auto* d = at<IMAGE_IMPORT_DESCRIPTOR>(off);
      if (d == nullptr || d->Name == 0) return names;
      const size_t nameOff = offsetOf(d->Name);
      if (nameOff >= bytes.size()) return names;
      std::string name(&bytes[nameOff], strnlen(&bytes[nameOff], bytes.size() - nameOff));
      std::transform(name.begin(), name.end(), name.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      names.push_back(name);
    }
  }
};

PeImage loadScrubberImage() {
  std::ifstream file(childrun::scrubberPath(), std::ios::binary);
  return PeImage{std::vector<char>(std::istreambuf_iterator<char>(file), {})};
}

TEST(ScrubberProgram, IsAGuiSubsystemExecutable) {
  const PeImage image = loadScrubberImage();
  const IMAGE_NT_HEADERS* nt = image.nt();
  ASSERT_NE(nt, nullptr) << "not a PE image: " << childrun::scrubberPath();
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  EXPECT_EQ(nt->FileHeader.Characteristics & IMAGE_FILE_DLL, 0);
}

TEST(ScrubberProgram, NeedsNoneOfThePackagesLibraries) {
  const std::vector<std::string> imports = loadScrubberImage().importedModules();
  EXPECT_NE(std::find(imports.begin(), imports.end(), "advapi32.dll"), imports.end())
      << "the import table was not read";
  for (const char* ours : {"halyard.dll", "ferrule.dll", "quire.dll"})
    EXPECT_EQ(std::find(imports.begin(), imports.end(), ours), imports.end()) << ours;
}

TEST(ScrubberProgram, EndsWithZeroAndPrintsNothing) {
  regbed::removeStepKeys();
  childrun::runScrubberOk();  // the first key is missing: the earliest end

  regbed::createAllStepKeys();
  regbed::setText(regbed::kPosPrinter, "Model", "KX8-80");
  regbed::createKey(regbed::sub(regbed::kCashDrawer, "KX8 Drawer"));
  regbed::createKey(regbed::sub(regbed::sub(regbed::kCashDrawer, "KX8 Nested"), "Child"));
  childrun::runScrubberOk();  // every step runs, one deletion fails
  EXPECT_TRUE(regbed::valueNames(regbed::kPosPrinter).empty());
  regbed::removeStepKeys();
}

}  // namespace
