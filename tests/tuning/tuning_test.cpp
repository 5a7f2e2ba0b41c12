// The settings' text forms: values, NAME=VALUE, the settings file, the
// panel's steps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tuning/tuning.h"

namespace {

using namespace Veruruve::Tuning;

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(SettingsTable, DefaultsAreTheStepConstantsAndReadBackFromTheirNames) {
  const Settings d;
  EXPECT_EQ(d.gravity, 0.02f);
  EXPECT_EQ(d.integration, 0.5f);
  EXPECT_EQ(d.tangential, 0.9f);
  EXPECT_EQ(d.restitution, 0.175f);
  EXPECT_EQ(d.overcorrection, 1.1f);
  EXPECT_EQ(d.spin, 10.0f);
  EXPECT_EQ(d.damping, 0.01f);
  EXPECT_EQ(d.passes, 4);
  EXPECT_EQ(d.mass, 10.0f);
  EXPECT_EQ(d.radius, 0.02f);
  const char* order[] = {"gravity", "integration", "tangential", "restitution", "overcorrection",
                         "spin",    "damping",     "passes",     "mass",        "radius"};
  for (int s = 0; s < kSettingCount; ++s) {
    EXPECT_STREQ(settingInfo(s).name, order[s]);
    EXPECT_EQ(findSetting(order[s]), s);
    // Each default is in its own accepted range and prints back to itself.
    float v = 0;
    std::string error;
    const std::string text = formatValue(s, settingValue(d, s));
    ASSERT_TRUE(parseValue(s, text, &v, &error)) << error;
    EXPECT_TRUE(sameBits(v, settingValue(d, s))) << order[s];
  }
  EXPECT_EQ(findSetting("Gravity"), -1);
  EXPECT_TRUE(allDefault(d));
}

TEST(ParseAssignment, ValuesAreTheNearestFloat) {
  struct Case {
    const char* text;
    int setting;
    float value;
  };
  const Case cases[] = {
      {"gravity=0.03", kGravity, 0.03f},
      {"gravity=-0.5", kGravity, -0.5f},
      {"restitution=1", kRestitution, 1.0f},
      {"restitution=0", kRestitution, 0.0f},
      {"overcorrection=1.25e0", kOvercorrection, 1.25f},
      {"passes=64", kPasses, 64},
      {"passes=1", kPasses, 1},
      {"mass=0.001", kMass, 0.001f},
      {"radius=.05", kRadius, 0.05f},
      {"damping=+0.1", kDamping, 0.1f},
      {"tangential=0.90000000001", kTangential, 0.9f},
  };
  for (const Case& c : cases) {
    Change change;
    std::string error;
    ASSERT_TRUE(parseAssignment(c.text, &change, &error)) << c.text << ": " << error;
    EXPECT_EQ(change.setting, c.setting) << c.text;
    EXPECT_TRUE(sameBits(change.value, c.value)) << c.text;
  }
}

TEST(ParseAssignment, BadValuesNameTheSettingAndWhatItAccepts) {
  struct Case {
    const char* text;
    const char* message;  // part of the error
  };
  const Case cases[] = {
      {"gravity", "expected NAME=VALUE"},
      {"gravitation=1", "unknown setting 'gravitation'"},
      {"=1", "unknown setting ''"},
      {"gravity=", "for gravity (a number from -1 to 1)"},
      {"gravity=inf", "for gravity"},
      {"gravity=nan", "for gravity"},
      {"gravity=0x1p-4", "for gravity"},
      {"gravity=1e39", "for gravity"},
      {"gravity=2", "for gravity (a number from -1 to 1)"},
      {"gravity= 0.1", "for gravity"},
      {"gravity=0.1 ", "for gravity"},
      {"gravity=0.1,", "for gravity"},
      {"mass=0", "for mass (a number above 0 and at most 1000000)"},
      {"mass=-1", "for mass"},
      {"radius=0", "for radius (a number above 0 and at most 1000)"},
      {"radius=-0", "for radius"},
      {"radius=1001", "for radius"},
      {"passes=0", "for passes (a whole number from 1 to 64)"},
      {"passes=65", "for passes"},
      {"passes=4.0", "for passes"},
      {"passes=-1", "for passes"},
      {"passes=1e1", "for passes"},
      {"overcorrection=0.9", "for overcorrection (a number from 1 to 2)"},
      {"restitution=1.01", "for restitution (a number from 0 to 1)"},
      {"integration=-0.1", "for integration"},
  };
  for (const Case& c : cases) {
    Change change;
    std::string error;
    EXPECT_FALSE(parseAssignment(c.text, &change, &error)) << c.text;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.text << ": " << error;
  }
}

TEST(FormatValue, ShortestTextThatReadsBackAsTheSameFloat) {
  EXPECT_EQ(formatValue(kGravity, 0.03f), "0.03");
  EXPECT_EQ(formatValue(kRestitution, 0.175f), "0.175");
  EXPECT_EQ(formatValue(kPasses, 7), "7");
  EXPECT_EQ(formatValue(kSpin, 10), "10");
  EXPECT_EQ(formatValue(kMass, 1000000), "1000000");
  EXPECT_EQ(formatValue(kMass, 0.001f), "0.001");
  EXPECT_EQ(formatExact(kGravity, 0.03f), "0.0299999993");
  EXPECT_EQ(formatExact(kPasses, 7), "7");
  // Every float in a range reads back from both forms.
  for (float v = 1e-6f; v < 2; v = std::nextafter(v * 1.37f, 3.0f)) {
    EXPECT_EQ(std::strtof(formatValue(kSpin, v).c_str(), nullptr), v);
    EXPECT_EQ(std::strtof(formatExact(kSpin, v).c_str(), nullptr), v);
  }
}

TEST(SettingsFile, ReadsNamesAndValuesOverTheDefaults) {
  Settings s;
  s.spin = 3;  // replaced by the file's reading, which starts from the defaults
  std::string error;
  ASSERT_TRUE(parseSettingsFile("# tuned for the bounce test\n"
                                "\n"
                                "gravity 0.03\r\n"
                                "  restitution\t0.5  \n"
                                "passes 8\n"
                                "gravity 0.04",
                                &s, &error))
      << error;
  EXPECT_EQ(s.gravity, 0.04f);
  EXPECT_EQ(s.restitution, 0.5f);
  EXPECT_EQ(s.passes, 8);
  EXPECT_EQ(s.spin, 10.0f);
  EXPECT_EQ(changedSettings(Settings(), s), (std::vector<int>{kGravity, kRestitution, kPasses}));
}

TEST(SettingsFile, ABadLineIsNamedAndNothingIsApplied) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"gravity 0.03\nrestitution two\n", "line 2: bad value 'two' for restitution"},
      {"speed 3\n", "line 1: unknown setting 'speed'"},
      {"gravity\n", "line 1: expected NAME VALUE, gravity has no value"},
      {"gravity=0.03\n", "line 1: unknown setting 'gravity=0.03'"},
      {"gravity 0.03 0.04\n", "line 1: bad value '0.03 0.04' for gravity"},
      {"\n\n\nmass 0\n", "line 4: bad value '0' for mass (a number above 0"},
      {"passes 65\n", "line 1: bad value '65' for passes (a whole number from 1 to 64)"},
      {"gravity 0.03\x01\n", "line 1: control character"},
  };
  for (const Case& c : cases) {
    Settings s;
    s.gravity = 0.5f;
    std::string error;
    EXPECT_FALSE(parseSettingsFile(c.text, &s, &error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << c.text << ": " << error;
    EXPECT_EQ(s.gravity, 0.5f) << "a bad file changes nothing";
  }
  // A NUL byte inside a line is a control character.
  Settings s;
  std::string error;
  EXPECT_FALSE(parseSettingsFile(std::string("gravity 0.0\0" "3\n", 14), &s, &error));
  EXPECT_EQ(error.rfind("line 1: control character", 0), 0u) << error;
}

TEST(SettingsFile, WrittenTextReadsBackBitForBit) {
  Settings s;
  s.gravity = 0.0300000012f;
  s.tangential = 0.123456789f;
  s.passes = 12;
  s.radius = 0.05f;
  const std::string text = settingsFileText(s);
  EXPECT_EQ(text.find("mass"), std::string::npos) << "defaults are left out: " << text;
  EXPECT_NE(text.find("passes 12\n"), std::string::npos) << text;
  Settings back;
  std::string error;
  ASSERT_TRUE(parseSettingsFile(text, &back, &error)) << error;
  EXPECT_TRUE(changedSettings(s, back).empty());
  EXPECT_EQ(settingsFileText(Settings()).find('\n') + 1, settingsFileText(Settings()).size())
      << "the defaults give only the comment line";
}

TEST(SteppedValue, TenAndOnePercentStepsWithinTheRange) {
  struct Case {
    int setting;
    float value;
    bool up, fine;
    float expected;
  };
  const Case cases[] = {
      {kGravity, 0.02f, true, false, 0.022f},
      {kGravity, 0.02f, false, false, 0.018f},
      {kGravity, 0.02f, true, true, 0.0202f},
      {kGravity, 0, true, false, 0.002f},    // from 0 by a share of the default
      {kGravity, 0.95f, true, false, 1.0f},  // clamped to the range
      {kRestitution, 1.0f, true, false, 1.0f},
      {kOvercorrection, 1.05f, false, false, 1.0f},
      {kPasses, 4, true, false, 5},
      {kPasses, 4, false, true, 3},
      {kPasses, 1, false, false, 1},
      {kPasses, 64, true, false, 64},
      {kMass, 10, false, false, 9},
      {kTangential, 0.9f, true, false, 0.99f},
  };
  for (const Case& c : cases)
    EXPECT_EQ(steppedValue(c.setting, c.value, c.up, c.fine), c.expected)
        << settingInfo(c.setting).name << " " << c.value;
  // Mass and radius step down forever without reaching 0.
  float r = 0.02f;
  for (int i = 0; i < 2000; ++i) r = steppedValue(kRadius, r, false, false);
  EXPECT_GT(r, 0);
}

}  // namespace
