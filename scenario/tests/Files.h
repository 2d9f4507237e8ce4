// Scenario text written to a temporary file and read back through the reader.
#pragma once

#include "scenario/Scenario.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace dw::scenario {

inline std::string WriteScenarioFile(const std::string &text) {
  static int count = 0;
  const std::string path = ::testing::TempDir() + "/scenario-reader" + std::to_string(++count) + ".json";
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// The four files as given (JSON), no objects, and the calls as given (a JSON array).
inline std::string ScenarioText(const std::string &main, const std::string &extra = "", const std::string &calls = "[]") {
  return R"({"about": "x", "files": {"main": )" + main + R"(, "icon": "absent", "text": "absent", "status": "absent"})" +
         extra + R"(, "calls": )" + calls + "}";
}

// What the reader says of the text, without the file's name it begins with; "(accepted)" when it
// reads it.
inline std::string Refusal(const std::string &text) {
  const std::string path = WriteScenarioFile(text);
  try {
    ReadScenario(path);
  } catch (const ScenarioError &e) {
    const std::string message = e.what();
    EXPECT_EQ(message.rfind(path + ": ", 0), 0u) << "names the file: " << message;
    return message.substr(path.size() + 2);
  }
  return "(accepted)";
}

}  // namespace dw::scenario
