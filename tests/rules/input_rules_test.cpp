#include "rules/input_rules.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <string>

namespace quorvel {
namespace {

TEST(PanelFields, ReadLikeScanf) {
    EXPECT_EQ(readIntField("12abc"), 12);
    EXPECT_EQ(readIntField("  -3"), -3);
    EXPECT_EQ(readIntField("+4"), 4);
    EXPECT_FALSE(readIntField(""));
    EXPECT_FALSE(readIntField("   "));
    EXPECT_FALSE(readIntField("abc"));
    EXPECT_EQ(readIntField("7.9"), 7);
    EXPECT_EQ(readNumberField(" 0.25x"), 0.25);
    EXPECT_EQ(readNumberField("1e-3"), 0.001);
    EXPECT_EQ(readNumberField("5"), 5);
    EXPECT_FALSE(readNumberField("."));
    EXPECT_FALSE(readNumberField(""));
    EXPECT_EQ(readNumberField("0,5"), 0); // a comma ends the number
}

TEST(PanelFields, NumbersNoPersonMeansAreRefusedOrHeld) {
    // Not finite, in any case and sign, or beyond the largest double: unreadable.
    for (const char* text : {"nan", "NaN", "-nan", "inf", "-INF", "Infinity", "+infinity", "1e309",
                             "-1e400", "nan(123)", "  inf5"}) {
        EXPECT_FALSE(readNumberField(text)) << text;
    }
    EXPECT_EQ(readNumberField("1e308"), 1e308);
    EXPECT_EQ(readNumberField("1e-400"), 0); // underflow is a number near 0, not a mistake
    // Beyond the range of int: the nearest int, where "%d" would wrap.
    EXPECT_EQ(readIntField("4294967297"), std::numeric_limits<int>::max());
    EXPECT_EQ(readIntField("2147483648"), std::numeric_limits<int>::max());
    EXPECT_EQ(readIntField("99999999999999999999999"), std::numeric_limits<int>::max());
    EXPECT_EQ(readIntField("2147483647"), std::numeric_limits<int>::max());
    EXPECT_EQ(readIntField("-2147483648"), std::numeric_limits<int>::min());
    EXPECT_EQ(readIntField("-4294967297"), std::numeric_limits<int>::min());
    EXPECT_EQ(readIntField(" 4294967297abc"), std::numeric_limits<int>::max());
    EXPECT_FALSE(readIntField("-"));
    EXPECT_FALSE(readIntField("- 5"));
    EXPECT_EQ(readIntField("0x10"), 0);
}

TEST(PanelFields, FullStopWhateverTheLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "de_DE.UTF-8 is not installed";
    }
    const auto value = readNumberField("0.25");
    std::setlocale(LC_ALL, saved.c_str());
    EXPECT_EQ(value, 0.25);
}

Validation generate(const char* count, const char* sides, const char* radius,
                    GenerateRequest* out = nullptr) {
    GenerateRequest r;
    Validation v = validateGenerate({count, sides, radius}, r);
    if (out != nullptr) {
        *out = r;
    }
    return v;
}

void expectStop(const Validation& v, const std::string& message) {
    EXPECT_FALSE(v.ok);
    ASSERT_FALSE(v.messages.empty());
    EXPECT_EQ(v.messages.back(), message);
}

TEST(GenerateValidation, ReadabilityOfAllThreeBeforeAnyRange) {
    expectStop(generate("", "5", "10"), "\"\" is not a valid number of obstacles");
    expectStop(generate("x", "y", "z"), "\"x\" is not a valid number of obstacles");
    expectStop(generate("9", "y", "z"), "\"y\" is not a valid number of sides per obstacle");
    expectStop(generate("3", "2", "letters"), "\"letters\" is not a valid obstacle radius");
    expectStop(generate("8", "2", "1"), "Number of obstacles must be between 0 and 7 (inclusive)");
    expectStop(generate("-1", "5", "10"),
               "Number of obstacles must be between 0 and 7 (inclusive)");
    expectStop(generate("3", "2", "1"), "Sides per obstacle must be between 3 and 10 (inclusive)");
    expectStop(generate("3", "11", "10"),
               "Sides per obstacle must be between 3 and 10 (inclusive)");
    expectStop(generate("3", "3", "4.99"),
               "Average Obstacle Radius must be between 5.0 and 25.0 (inclusive)");
    expectStop(generate("3", "3", "25.01"),
               "Average Obstacle Radius must be between 5.0 and 25.0 (inclusive)");
    for (const Validation& v : {generate("3", "2", "letters"), generate("8", "2", "1")}) {
        EXPECT_EQ(v.messages.size(), 1u);
    }
}

TEST(GenerateValidation, BoundsAreInclusive) {
    GenerateRequest r;
    EXPECT_TRUE(generate("0", "3", "5.0", &r).ok);
    EXPECT_TRUE(generate("7", "10", "25", &r).ok);
    EXPECT_EQ(r.count, 7);
    EXPECT_EQ(r.sides, 10);
    EXPECT_EQ(r.radius, 25);
    EXPECT_TRUE(generate("7", "10", "25", &r).messages.empty());
}

Validation train(const char* runs, const char* freq, const char* rate, const char* discount,
                 const char* annealing, TrainRequest* out = nullptr) {
    TrainRequest r;
    Validation v = validateTrain({runs, freq, rate, discount, annealing}, r);
    if (out != nullptr) {
        *out = r;
    }
    return v;
}

TEST(TrainValidation, StopsInOrder) {
    expectStop(train("", "", "", "", ""), "\"\" is not a valid number of training runs");
    expectStop(train("0", "x", "", "", ""),
               "Number of training runs must be between 1 and 10000000 (inclusive)");
    expectStop(train("10000001", "", "", "", ""),
               "Number of training runs must be between 1 and 10000000 (inclusive)");
    expectStop(train("10", "x", "", "", ""), "\"x\" is not a valid evaluation frequency");
    expectStop(train("10", "-4", "", "", ""), "\"\" is not a valid learning rate");
    expectStop(train("10", "0", "0.1", "d", ""), "\"d\" is not a valid reward discount rate");
    // A warning stays before the stop it was followed by.
    const Validation v = train("10", "5", "2", "d", "");
    ASSERT_EQ(v.messages.size(), 2u);
    EXPECT_EQ(v.messages[0], "Learning rate must be in the range 0.001 to 0.9");
}

TEST(TrainValidation, WarningsGoOn) {
    TrainRequest r;
    Validation v = train("10", "5", "0.001", "0.9", "", &r);
    EXPECT_TRUE(v.ok);
    ASSERT_EQ(v.messages.size(), 1u);
    EXPECT_EQ(v.messages[0], "Learning rate must be in the range 0.001 to 0.9");
    EXPECT_TRUE(train("10", "5", "0.9", "0.9", "").messages.empty());
    v = train("10", "5", "0.95", "0.9", "", &r);
    EXPECT_EQ(v.messages.size(), 1u);
    EXPECT_EQ(r.learningRate, 0.95);
    v = train("10", "5", "0.1", "0.001", "", &r);
    EXPECT_EQ(v.messages, std::vector<std::string>{
                              "Reward Discount factor must be in the range 0.001 to 0.999"});
    EXPECT_TRUE(train("10", "5", "0.1", "0.999", "").messages.empty());
    EXPECT_EQ(train("10", "5", "0.1", "1.5", "").messages.size(), 1u);
}

TEST(TrainValidation, AnnealingNumber) {
    TrainRequest r;
    Validation v = train("10", "5", "0.1", "0.9", "letters", &r);
    EXPECT_TRUE(v.ok);
    EXPECT_EQ(v.messages, std::vector<std::string>{annealingMessage});
    EXPECT_EQ(r.annealing, 200);
    v = train("10", "5", "0.1", "0.9", "30", &r);
    EXPECT_EQ(v.messages, std::vector<std::string>{annealingMessage});
    EXPECT_EQ(r.annealing, 30);
    v = train("10", "5", "0.1", "0.9", "", &r);
    EXPECT_TRUE(v.messages.empty());
    EXPECT_EQ(r.annealing, 200);
    v = train("10", "5", "0.1", "0.9", "50", &r);
    EXPECT_TRUE(v.messages.empty());
    EXPECT_EQ(r.annealing, 50);
    EXPECT_EQ(r.runs, 10);
    EXPECT_EQ(r.evaluationFrequency, 5);
    EXPECT_EQ(std::string(annealingMessage),
              "The Annealing Magic number is related to the number of iterations \t\t\t\t\t  "
              "before the robot stops \"exploring\" and starts using more learning "
              "\t\t\t\t\t  (default is 200)");
}

TEST(FieldRules, NumbersNoPersonMeansFollowTheUnreadableAndRangeRules) {
    expectStop(generate("3", "5", "nan"), "\"nan\" is not a valid obstacle radius");
    expectStop(generate("3", "5", "-Infinity"), "\"-Infinity\" is not a valid obstacle radius");
    expectStop(generate("4294967297", "5", "10"),
               "Number of obstacles must be between 0 and 7 (inclusive)");
    expectStop(generate("3", "-4294967293", "10"),
               "Sides per obstacle must be between 3 and 10 (inclusive)");
    expectStop(train("4294967297", "5", "0.1", "0.9", ""),
               "Number of training runs must be between 1 and 10000000 (inclusive)");
    expectStop(train("10", "5", "nan", "0.9", ""), "\"nan\" is not a valid learning rate");
    expectStop(train("10", "5", "0.1", "INF", ""), "\"INF\" is not a valid reward discount rate");
    for (const char* annealing : {"nan", "inf", "-inf", "1e309"}) {
        TrainRequest r;
        const Validation v = train("10", "5", "0.1", "0.9", annealing, &r);
        EXPECT_TRUE(v.ok) << annealing;
        EXPECT_EQ(v.messages, std::vector<std::string>{annealingMessage}) << annealing;
        EXPECT_EQ(r.annealing, 200) << annealing;
    }
    // A frequency beyond any run count: run 0 is the only evaluation, as for any large one.
    TrainRequest r;
    EXPECT_TRUE(train("10", "4294967297", "0.1", "0.9", "", &r).ok);
    EXPECT_EQ(r.evaluationFrequency, std::numeric_limits<int>::max());
    EXPECT_TRUE(train("10", "-4294967297", "0.1", "0.9", "", &r).ok);
    EXPECT_EQ(r.evaluationFrequency, std::numeric_limits<int>::min());
}

} // namespace
} // namespace quorvel
