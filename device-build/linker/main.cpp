// duskwell-link: the armv7 linker and the ad-hoc signer of the device build.
//
// What it links, and nothing more (anything else is refused, naming the object, section, offset and
// relocation kind):
// - armv7 Mach-O objects from clang: Thumb-2 code in __TEXT (no ARM-mode code), data in __TEXT and
//   __DATA, zero-fill in __DATA, non-lazy pointer sections; debug sections are dropped;
// - relocations ARM_THUMB_RELOC_BR22 (BL and B.W, extern or section-relative), ARM_RELOC_HALF_SECTDIFF
//   with its ARM_RELOC_PAIR on Thumb-2 MOVW/MOVT, and 4-byte ARM_RELOC_VANILLA in __DATA (extern,
//   section-relative or scattered);
// - text stubs (.tbd version 4) for the libraries; every undefined symbol must be exported by one;
// - the output is one dylib at base 0 with 4 KiB pages: every imported function gets a stub and a
//   non-lazy pointer bound at load (no lazy binding, so no dyld_stub_binder), every imported datum a
//   bind at its place; exports are the objects' global symbols that are not private externs; no
//   exported weak definitions, no common symbols, no thread-local data, no re-exports, no dead
//   stripping and no literal merging (sections are placed whole, one object after another), and at
//   most 256 MiB of sections.
//
// Usage:
//   duskwell-link link -o OUT -install_name NAME -ios_version_min X.Y [-sdk_version X.Y]
//                      [-current_version X.Y.Z] [-compatibility_version X.Y.Z] -identifier ID
//                      OBJECT.o ... STUB.tbd ...
//   duskwell-link sign -identifier ID -o OUT IN      (re-signs a thin armv7 or arm64 Mach-O)
// Outputs are written whole or not at all.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "Bytes.h"
#include "Link.h"
#include "Object.h"
#include "Signature.h"
#include "TextStub.h"

namespace {

using dwl::Bytes;
using dwl::LinkError;

const char kUsage[] =
    "usage: duskwell-link link -o OUT -install_name NAME -ios_version_min X.Y [-sdk_version X.Y]\n"
    "                          [-current_version X.Y.Z] [-compatibility_version X.Y.Z] -identifier ID\n"
    "                          OBJECT.o ... STUB.tbd ...\n"
    "       duskwell-link sign -identifier ID -o OUT IN\n";

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

Bytes ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw LinkError(path + ": cannot be read");
  std::stringstream buffer;
  buffer << in.rdbuf();
  std::string text = buffer.str();
  return Bytes(text.begin(), text.end());
}

// Written beside the target and renamed over it, so a reader never sees half a file.
void WriteFileAtomically(const std::string &path, const Bytes &bytes) {
  std::string temporary = path + ".partial." + std::to_string(getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) throw LinkError(path + ": cannot be written");
    out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::remove(temporary.c_str());
      throw LinkError(path + ": cannot be written");
    }
  }
  chmod(temporary.c_str(), 0755);
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    std::remove(temporary.c_str());
    throw LinkError(path + ": cannot be replaced");
  }
}

bool EndsWith(const std::string &s, const std::string &suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

struct Arguments {
  std::string output, install_name, identifier, minimum_os, sdk, current_version, compatibility_version;
  std::vector<std::string> files;
};

Arguments Parse(int argc, char **argv, int first) {
  Arguments a;
  for (int i = first; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](std::string &into) {
      if (i + 1 >= argc) throw UsageError(arg + " needs a value");
      if (!into.empty()) throw UsageError(arg + " given twice");
      into = argv[++i];
    };
    if (arg == "-o") value(a.output);
    else if (arg == "-install_name") value(a.install_name);
    else if (arg == "-identifier") value(a.identifier);
    else if (arg == "-ios_version_min") value(a.minimum_os);
    else if (arg == "-sdk_version") value(a.sdk);
    else if (arg == "-current_version") value(a.current_version);
    else if (arg == "-compatibility_version") value(a.compatibility_version);
    else if (!arg.empty() && arg[0] == '-') throw UsageError("unknown option " + arg);
    else a.files.push_back(arg);
  }
  if (a.output.empty()) throw UsageError("no output given (-o)");
  if (a.identifier.empty()) throw UsageError("no signing identifier given (-identifier)");
  return a;
}

int Link(const Arguments &a) {
  if (a.install_name.empty()) throw UsageError("no install name given (-install_name)");
  if (a.minimum_os.empty()) throw UsageError("no minimum iOS version given (-ios_version_min)");
  dwl::LinkOptions options;
  options.install_name = a.install_name;
  options.minimum_os = dwl::PackVersion(a.minimum_os, "-ios_version_min");
  options.sdk = a.sdk.empty() ? options.minimum_os : dwl::PackVersion(a.sdk, "-sdk_version");
  if (!a.current_version.empty()) options.current_version = dwl::PackVersion(a.current_version, "-current_version");
  if (!a.compatibility_version.empty())
    options.compatibility_version = dwl::PackVersion(a.compatibility_version, "-compatibility_version");
  std::vector<dwl::ObjectFile> objects;
  std::vector<dwl::DylibStub> libraries;
  for (const std::string &path : a.files) {
    Bytes bytes = ReadFile(path);
    if (EndsWith(path, ".tbd")) {
      for (dwl::DylibStub &stub : dwl::ReadTextStub(path, std::string(bytes.begin(), bytes.end()), "armv7-ios"))
        libraries.push_back(std::move(stub));
    } else if (EndsWith(path, ".o")) {
      objects.push_back(dwl::ReadObject(path, bytes));
    } else {
      throw UsageError(path + ": neither an object (.o) nor a text stub (.tbd)");
    }
  }
  Bytes image = dwl::LinkDylib(objects, libraries, options);
  dwl::SignAdhoc(image, a.identifier);
  WriteFileAtomically(a.output, image);
  return 0;
}

int Sign(const Arguments &a) {
  if (a.files.size() != 1) throw UsageError("sign takes exactly one input file");
  Bytes image = ReadFile(a.files[0]);
  try {
    dwl::SignAdhoc(image, a.identifier);
  } catch (const LinkError &error) {
    throw LinkError(a.files[0] + ": " + error.what());
  }
  WriteFileAtomically(a.output, image);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  try {
    if (argc < 2) throw UsageError("no command given");
    std::string command = argv[1];
    if (command == "link") return Link(Parse(argc, argv, 2));
    if (command == "sign") return Sign(Parse(argc, argv, 2));
    throw UsageError("unknown command " + command);
  } catch (const UsageError &error) {
    std::cerr << "duskwell-link: " << error.what() << "\n" << kUsage;
    return 2;
  } catch (const std::exception &error) {
    std::cerr << "duskwell-link: " << error.what() << "\n";
    return 1;
  }
}
