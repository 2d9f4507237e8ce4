// The command as a script meets it: the table or JSON on stdout, exit 0 when every row installs,
// 1 when some do not, 2 with a message naming the file and the reason when an input is unreadable.
#include "CoverageSupport.h"

#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace device::coverage {
namespace {

struct CommandRun {
  int status = -1;
  std::string out, err;
};

std::string TempDir() {
  static std::string dir;
  if (dir.empty()) {
    char pattern[] = "/tmp/coverage-test-XXXXXX";
    dir = mkdtemp(pattern);
  }
  return dir;
}

CommandRun Coverage(const std::string &arguments) {
  const std::string err = TempDir() + "/stderr";
  const std::string command = std::string(DUSKWELL_DEVICE_COMMAND) + " coverage " + arguments + " --dylib " +
                              ShippedDylibPath() + " 2>" + err;
  CommandRun run;
  FILE *pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(err);
  run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

std::string Written(const std::string &name, const std::vector<uint8_t> &bytes) {
  const std::string path = TempDir() + "/" + name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), static_cast<long>(bytes.size()));
  return path;
}

size_t Count(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(CoverageCommandTest, EveryRowInstallingExitsZero) {
  const CommandRun run = Coverage(FixturePath("FullHost-fat") + " --framework " + FixturePath("UIKit-fat") + " --filter /nonexistent/x.plist");
  // A filter named on the command line must exist.
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("/nonexistent/x.plist: no such file"), std::string::npos) << run.err;
  const CommandRun ok = Coverage(FixturePath("FullHost-fat") + " --framework " + FixturePath("UIKit-fat"));
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_NE(ok.out.find(" of " + std::to_string(ShippedTable().size()) + " rows install"), std::string::npos);
  EXPECT_EQ(Count(ok.out, "replaces its own") + Count(ok.out, "adds one, calls"), ShippedTable().size());
  EXPECT_NE(ok.out.find("(arm64, dyld info opcodes)"), std::string::npos);
}

TEST(CoverageCommandTest, RowsThatInstallNothingExitOneAndJsonSaysTheSame) {
  const CommandRun text = Coverage(FixturePath("NextVersion-fat") + " --arch armv7 --framework " + FixturePath("UIKit-armv7"));
  EXPECT_EQ(text.status, 1) << text.err;
  EXPECT_NE(text.out.find("SPTInfoView"), std::string::npos);
  EXPECT_EQ(Count(text.out, "installs nothing"), 4u);
  const CommandRun json = Coverage(FixturePath("NextVersion-fat") + " --arch armv7 --framework " + FixturePath("UIKit-armv7") + " --json");
  EXPECT_EQ(json.status, 1);
  EXPECT_EQ(Count(json.out, "{\"row\":"), ShippedTable().size());
  EXPECT_EQ(Count(json.out, "\"installing\":\"nothing\""), 4u);
  EXPECT_NE(json.out.find("\"exitStatus\":1}"), std::string::npos);
  EXPECT_NE(json.out.find("\"arch\":\"armv7\""), std::string::npos);
}

TEST(CoverageCommandTest, TheLoaderFilterIsReadWhenGiven) {
  const std::string filter =
      "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>Filter</key><dict><key>Classes</key><array>"
      "<string>SPTPopupView</string></array></dict></dict></plist>";
  const std::string path = Written("duskwell.plist", std::vector<uint8_t>(filter.begin(), filter.end()));
  const CommandRun full = Coverage(FixturePath("FullHost-arm64") + " --filter " + path);
  EXPECT_NE(full.out.find("loader filter " + path + ": the library loads"), std::string::npos) << full.out;
  const CommandRun next = Coverage(FixturePath("NextVersion-arm64") + " --filter " + path);
  EXPECT_NE(next.out.find("THE LIBRARY DOES NOT LOAD"), std::string::npos) << next.out;
  // By default the filter the build writes is read, when it has written one.
  const CommandRun byDefault = Coverage(FixturePath("NextVersion-arm64"));
  const std::string builtFilter = DUSKWELL_DEFAULT_FILTER;
  if (std::ifstream(builtFilter)) {
    EXPECT_NE(byDefault.out.find("loader filter " + builtFilter + ": "), std::string::npos) << byDefault.out;
  } else {
    EXPECT_NE(byDefault.out.find("loader filter: not checked (" + builtFilter + " is not built)"), std::string::npos)
        << byDefault.out;
  }
}

TEST(CoverageCommandTest, UnreadableInputsExitTwoNamingTheFileAndTheReason) {
  const CommandRun missing = Coverage(TempDir() + "/no-such-app");
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "duskwell-device: " + TempDir() + "/no-such-app: cannot be read\n");
  EXPECT_TRUE(missing.out.empty());
  const std::vector<uint8_t> &whole = Fixture("NextVersion-arm64");
  const std::string cut = Written("cut", std::vector<uint8_t>(whole.begin(), whole.begin() + 3000));
  const CommandRun truncated = Coverage(cut);
  EXPECT_EQ(truncated.status, 2);
  EXPECT_EQ(truncated.err.rfind("duskwell-device: " + cut + ": ", 0), 0u) << truncated.err;
  EXPECT_NE(truncated.err.find("truncated"), std::string::npos) << truncated.err;
  const std::string text = "not an executable, but long enough to hold a header";
  const std::string notMachO = Written("not-mach-o", std::vector<uint8_t>(text.begin(), text.end()));
  const CommandRun refusedText = Coverage(notMachO);
  EXPECT_EQ(refusedText.status, 2);
  EXPECT_EQ(refusedText.err.rfind("duskwell-device: " + notMachO + ": not a Mach-O file", 0), 0u) << refusedText.err;
  const CommandRun textFramework = Coverage(FixturePath("NextVersion-arm64") + " --framework " + notMachO);
  EXPECT_EQ(textFramework.err.rfind("duskwell-device: " + notMachO + ": ", 0), 0u) << textFramework.err;
  const std::string encrypted = Written("encrypted", WithCryptId(Fixture("NextVersion-chained"), 3));
  const CommandRun refused = Coverage(encrypted);
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(refused.err, "duskwell-device: " + encrypted + ": encrypted: decrypt the app first\n");
  const CommandRun noSlice = Coverage(FixturePath("NextVersion-arm64") + " --arch armv7");
  EXPECT_EQ(noSlice.status, 2);
  EXPECT_NE(noSlice.err.find("has no armv7 slice"), std::string::npos);
  const CommandRun badFramework = Coverage(FixturePath("NextVersion-arm64") + " --framework " + cut);
  EXPECT_EQ(badFramework.status, 2);
  EXPECT_EQ(badFramework.err.rfind("duskwell-device: " + cut + ": ", 0), 0u) << badFramework.err;
}

}  // namespace
}  // namespace device::coverage
