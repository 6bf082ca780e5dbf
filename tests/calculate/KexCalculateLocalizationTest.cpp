#include "KexCalculateLocalization.h"

#include <gtest/gtest.h>

#include <string>

#include "KexCommon.h"

namespace {

const std::string kKey = "Faults.ABC_lin";

// Every test leaves the host's language at English.
class Localization : public ::testing::Test {
protected:
    void TearDown() override { lng::language = 0; }
};

TEST_F(Localization, TextOfTheLanguageAtEachCall) {
    lng::language = 1;
    EXPECT_STREQ(lng::KexCalculate::get(kKey), "ABC \xD0\xBB\xD0\xB8\xD0\xBD.");  // UTF-8

    lng::language = 0;
    const char* english = lng::KexCalculate::get(kKey);
    EXPECT_STREQ(english, "ABC line");
    EXPECT_EQ(lng::KexCalculate::get(std::string("Faults.") + "ABC_lin"), english);  // one static text
    lng::language = 7;  // an unknown language falls back to English
    EXPECT_EQ(lng::KexCalculate::get(kKey), english);
}

TEST_F(Localization, UnknownKeysComeBackAsGiven) {
    for (const std::string key : {"faults.abc_lin", "Faults.ABC", "Faults.ABC_lin ", ""}) {
        EXPECT_EQ(lng::KexCalculate::get(key), key.c_str());
    }
}

}  // namespace
