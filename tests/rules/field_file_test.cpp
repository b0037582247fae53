#include "rules/field_file.h"

#include "common/random.h"
#include "world/world.h"

#include <gtest/gtest.h>

#include <memory>

namespace quorvel {
namespace {

TEST(FieldFile, AFieldWrittenIsReadBackWithEveryBit) {
    random::setState(17);
    auto w = std::make_unique<World>(10, 10, 0, 0, 0);
    w->generateObstacleField(5, 7, {-50, -50}, {50, 50}, 13);
    w->placeRobotAndGoal();
    w->move(1, -3); // a heading made by turning, not from the points
    const std::string text = fieldText(fieldOf(*w));
    const FieldRead read = readFieldText(text, "f");
    ASSERT_TRUE(read.field) << read.error;
    auto copy = std::make_unique<World>(*w);
    copy->generateObstacleField(2, 3, {-50, -50}, {50, 50}, 6);
    copy->placeRobotAndGoal();
    applyField(*copy, *read.field);
    EXPECT_EQ(fieldText(fieldOf(*copy)), text);
    EXPECT_EQ(copy->heading, w->heading);
    EXPECT_EQ(copy->normal, w->normal);
    EXPECT_EQ(copy->obstacleCount, 5);
    EXPECT_EQ(copy->obstacles[4].box.minX, w->obstacles[4].box.minX);
    // Carriage returns, comments and blank lines are passed over.
    std::string dos;
    for (const char c : text) {
        dos += c == '\n' ? std::string("\r\n# a note\r\n\r\n") : std::string(1, c);
    }
    ASSERT_TRUE(readFieldText(dos, "f").field);
    EXPECT_EQ(fieldText(*readFieldText(dos, "f").field), text);
}

TEST(FieldFile, EveryDamageIsNamedWithItsLine) {
    const std::string head = "quorvel field 1\nrobot -5 0 5 0 1 0\ngoal 20 20\n";
    const std::string square = "obstacle 0 0 10 0 10 10";
    const std::pair<std::string, std::string> damaged[] = {
        {"quorvel field 2\n", "Line 1 of \"f\" is not \"quorvel field 1\""},
        {head + "obstacle 0 0 1 1\n", "Line 4 of \"f\" gives an obstacle as x y of each of 3"},
        {head + square + " 5\n", "Line 4 of \"f\" gives an obstacle as x y"},
        {head + "obstacle 0 0 1 1 2 nan\n", "Line 4 of \"f\" holds \"nan\", not a number"},
        {head + "obstacle 0 0 1 1 2 1e309\n", "holds \"1e309\""},
        {head + "obstacle 0 0 1 1 2 1000.5\n", "holds \"1000.5\""},
        {head + "obstacle 0 0 1 1 2 2x\n", "holds \"2x\""},
        {head + "goal 1 1\n", "Line 4 of \"f\" gives the goal a second time"},
        {"quorvel field 1\nrobot -5 0 5 0 0.9 0\n", "Line 2 of \"f\" gives no pose of the robot"},
        {"quorvel field 1\nrobot -5 0 6 0 1 0\n", "Line 2 of \"f\" gives no pose"},
        {"quorvel field 1\ngoal 1 1\n", "\"f\" gives no robot"},
        {"quorvel field 1\nrobot -5 0 5 0 1 0\n", "\"f\" gives no goal"},
        {head + "wall 1 2\n", "Line 4 of \"f\" begins with \"wall\""},
        {"", "\"f\" is empty"}};
    for (const auto& [text, said] : damaged) {
        const FieldRead read = readFieldText(text, "f");
        EXPECT_FALSE(read.field) << text;
        EXPECT_NE(read.error.find(said), std::string::npos) << read.error;
    }
    std::string seven = head, eight = head;
    for (int i = 0; i < 7; ++i) {
        seven += square + "\n";
    }
    eight = seven + square + "\n";
    EXPECT_EQ(readFieldText(seven, "f").field->obstacles.size(), 7u);
    EXPECT_NE(readFieldText(eight, "f").error.find("Line 11 of \"f\" gives more than 7"),
              std::string::npos);
    EXPECT_NE(readFieldFile("/").error.find("not a regular file"), std::string::npos);
}

} // namespace
} // namespace quorvel
