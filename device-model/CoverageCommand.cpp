// duskwell-device coverage APP [--arch A] [--framework FILE]... [--json] [--dylib FILE] [--filter FILE]
#include "CoverageCommand.h"

#include "CoverageRun.h"
#include "SignatureCheck.h"

#include <fstream>
#include <iostream>
#include <sys/stat.h>

namespace device::coverage {

namespace {

constexpr int kInputError = 2;

const char kUsage[] =
    "usage: duskwell-device coverage APP [--arch arm64|armv7] [--framework FILE]... [--json]\n"
    "                                [--dylib FILE] [--filter FILE]\n";

int Fail(const std::string &message) {
  std::cerr << "duskwell-device: " << message << "\n";
  return kInputError;
}

bool Exists(const std::string &path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0;
}

struct Input {
  std::string path;
  std::vector<uint8_t> bytes;
};

Input Read(const std::string &path) { return Input{path, objc::ReadImageFile(path)}; }

// The slices of a file, or a refusal that names the file.
std::vector<Arch> SlicesOf(const Input &input) {
  try {
    return objc::SlicesOf(input.bytes);
  } catch (const objc::ImageError &e) {
    throw objc::ImageError(input.path + ": " + e.what());
  }
}

Arch ChooseArch(const Input &app, const std::string &requested) {
  const std::vector<Arch> slices = SlicesOf(app);
  if (slices.empty()) throw objc::ImageError(app.path + ": holds no arm64 or armv7 slice");
  if (requested.empty()) {
    for (Arch a : slices) {
      if (a == Arch::arm64) return a;
    }
    return slices.front();
  }
  const Arch arch = ArchFromName(requested);
  for (Arch a : slices) {
    if (a == arch) return a;
  }
  throw objc::ImageError(app.path + ": has no " + requested + " slice");
}

// The architecture a framework is read in: the app's when it has it.
Arch FrameworkArch(const Input &framework, Arch appArch) {
  const std::vector<Arch> slices = SlicesOf(framework);
  for (Arch a : slices) {
    if (a == appArch) return a;
  }
  if (slices.empty()) throw objc::ImageError(framework.path + ": holds no arm64 or armv7 slice");
  return slices.front();
}

}  // namespace

int CoverageCommand(const std::vector<std::string> &args, const std::string &defaultDylib, const std::string &defaultFilter) {
  std::string appPath, archName, dylibPath = defaultDylib, filterPath = defaultFilter;
  bool json = false, filterGiven = false;
  std::vector<std::string> frameworkPaths;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (a == "--arch" || a == "--framework" || a == "--dylib" || a == "--filter") {
      if (i + 1 >= args.size()) return Fail(a + " needs a value\n" + kUsage);
      const std::string &value = args[++i];
      if (a == "--arch") archName = value;
      if (a == "--framework") frameworkPaths.push_back(value);
      if (a == "--dylib") dylibPath = value;
      if (a == "--filter") filterPath = value, filterGiven = true;
    } else if (a == "--json") {
      json = true;
    } else if (!a.empty() && a[0] == '-') {
      return Fail("unknown option " + a + "\n" + kUsage);
    } else if (appPath.empty()) {
      appPath = a;
    } else {
      return Fail("one app at a time: " + a + "\n" + kUsage);
    }
  }
  if (appPath.empty()) return Fail(std::string("coverage needs the app's executable\n") + kUsage);
  Report report;
  std::vector<HookRow> table;
  try {
    const Input app = Read(appPath);
    report.app = appPath;
    report.arch = ChooseArch(app, archName);
    objc::ImageMetadata metadata;
    try {
      metadata = objc::ReadObjCMetadata(app.bytes, report.arch);
    } catch (const objc::ImageError &e) {
      throw objc::ImageError(app.path + ": " + e.what());
    }
    report.fixUps = metadata.fixUps;
    std::vector<std::pair<std::string, objc::ImageMetadata>> frameworks;
    for (const std::string &path : frameworkPaths) {
      const Input framework = Read(path);
      try {
        frameworks.emplace_back(path, objc::ReadObjCMetadata(framework.bytes, FrameworkArch(framework, report.arch)));
      } catch (const objc::ImageError &e) {
        throw objc::ImageError(path + ": " + e.what());
      }
      report.frameworks.push_back(path);
    }
    const ClassSet classes(std::move(metadata), std::move(frameworks));
    const Input dylib = Read(dylibPath);
    try {
      RequireSignatures(dylib.bytes);
      table = HookTableOf(dylib.bytes, DylibSliceFor(dylib.bytes, report.arch));
    } catch (const LoadError &e) {
      throw objc::ImageError(dylib.path + ": " + e.what());
    } catch (const RunError &e) {
      throw objc::ImageError(dylib.path + ": its constructor's run stopped: " + e.what());
    }
    report.rows = Verdicts(table, classes);
    if (Exists(filterPath)) {
      report.filter = CheckFilter(filterPath, Read(filterPath).bytes, classes);
    } else if (filterGiven) {
      throw objc::ImageError(filterPath + ": no such file");
    } else {
      report.filter.reason = filterPath + " is not built";
    }
  } catch (const objc::ImageError &e) {
    return Fail(e.what());
  } catch (const LoadError &e) {
    return Fail(e.what());
  } catch (const std::exception &e) {
    return Fail(appPath + ": the reading stopped unexpectedly: " + e.what());
  }
  Summarize(report);
  std::cout << (json ? ReportJson(report) : ReportText(report));
  return report.ExitStatus();
}

}  // namespace device::coverage
