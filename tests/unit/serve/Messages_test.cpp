// The preview's message reader: what it accepts and, above all, what it refuses.
#include "serve/Messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace corvelle::serve {
namespace {

TEST(ServeMessages, ReadsEveryKind) {
    const ClientMessage press = ParseMessage(R"({"t":"press","x":-3,"y":40,"seq":7})");
    EXPECT_EQ(press.kind, MessageKind::Press);
    EXPECT_EQ(press.x, -3);
    EXPECT_EQ(press.y, 40);
    EXPECT_EQ(press.seq, 7u);

    const ClientMessage point = ParseMessage(R"({"t":"set","key":"origin","value":[1.5,-2]})");
    EXPECT_EQ(point.value.type, SentValue::Type::Pair);
    EXPECT_EQ(point.value.x, 1.5);
    EXPECT_EQ(point.value.y, -2.0);

    const ClientMessage colour = ParseMessage(R"({"t":"set","key":"color","value":"#a0b1c2"})");
    EXPECT_EQ(colour.value.type, SentValue::Type::Text);
    EXPECT_EQ(colour.value.text, "#a0b1c2");

    const ClientMessage view = ParseMessage(
        R"({"t":"view","zoom":0.015625,"ox":-10,"oy":2.5,"kind":"comp","lx":3,"ly":4,"auto":false})");
    EXPECT_EQ(view.view.zoom, 1.0 / 64.0);
    EXPECT_TRUE(view.view.composition);
    EXPECT_FALSE(view.view.autoDownsample);

    const ClientMessage host = ParseMessage(R"({"t":"host","host":"premiere","depth":32})");
    EXPECT_TRUE(host.editorHost);
    EXPECT_EQ(host.depth, 32);

    EXPECT_EQ(ParseMessage(R"({"t":"reset"})").key, "");
    EXPECT_EQ(ParseMessage(R"({"t":"reset","key":"mask_only"})").key, "mask_only");
    EXPECT_EQ(ParseMessage(R"({"t":"aspect","num":10,"den":11})").aspectDen, 11);
    EXPECT_EQ(ParseMessage(R"({"t":"frame","frame":12})").frame, 12);
    EXPECT_EQ(ParseMessage(R"({"t":"render"})").kind, MessageKind::RenderOutput);

    const ClientMessage grouped = ParseMessage(R"({"t":"set","key":"width","value":3,"group":4000000000})");
    EXPECT_EQ(grouped.group, 4000000000u);
    EXPECT_EQ(ParseMessage(R"({"t":"set","key":"width","value":3})").group, 0u);
    const ClientMessage stopwatch = ParseMessage(R"({"t":"stopwatch","key":"width","on":true})");
    EXPECT_EQ(stopwatch.kind, MessageKind::Stopwatch);
    EXPECT_TRUE(stopwatch.on);
    EXPECT_EQ(ParseMessage(R"({"t":"removekey","key":""})").key, "");
    EXPECT_EQ(ParseMessage(R"({"t":"removekey","key":"angle"})").key, "angle");
    EXPECT_EQ(ParseMessage(R"({"t":"save"})").kind, MessageKind::Save);
}

TEST(ServeMessages, RefusesMalformedMessages) {
    const std::vector<std::string> refused{
        "",
        "not json",
        "[]",
        "\"press\"",
        R"({"x":1,"y":2})",   // no kind
        R"({"t":"zap"})",     // unknown kind
        R"({"t":7})",
        R"({"t":"press","x":1})",           // a field missing
        R"({"t":"press","x":1.5,"y":2})",   // window pixels are whole
        R"({"t":"press","x":1e300,"y":2})",
        R"({"t":"press","x":"1","y":2})",
        R"({"t":"press","x":1,"y":2,"seq":-1})",
        R"({"t":"press","x":1,"y":2,"seq":4294967296})",
        R"({"t":"set","key":"Width","value":3})",   // keys are lower case
        R"({"t":"set","key":"../etc","value":3})",
        R"({"t":"set","key":"","value":3})",
        R"({"t":"set","key":"width"})",
        R"({"t":"set","key":"width","value":null})",
        R"({"t":"set","key":"width","value":{"a":1}})",
        R"({"t":"set","key":"origin","value":[1,2,3]})",
        R"({"t":"set","key":"origin","value":[1,"2"]})",
        R"({"t":"set","key":"width","value":")" + std::string(100, 'a') + R"("})",
        R"({"t":"view","zoom":0,"ox":0,"oy":0,"kind":"layer","lx":0,"ly":0,"auto":true})",
        R"({"t":"view","zoom":65,"ox":0,"oy":0,"kind":"layer","lx":0,"ly":0,"auto":true})",
        R"({"t":"view","zoom":1,"ox":1e5,"oy":0,"kind":"layer","lx":0,"ly":0,"auto":true})",
        R"({"t":"view","zoom":1,"ox":0,"oy":0,"kind":"effect","lx":0,"ly":0,"auto":true})",
        R"({"t":"view","zoom":1,"ox":0,"oy":0,"kind":"layer","lx":0,"ly":0,"auto":1})",
        R"({"t":"frame","frame":-1})",
        R"({"t":"host","host":"other","depth":8})",
        R"({"t":"host","host":"ae","depth":12})",
        R"({"t":"aspect","num":0,"den":1})",
        R"({"t":"set","key":"width","value":3,"group":-1})",
        R"({"t":"set","key":"width","value":3,"group":1.5})",
        R"({"t":"set","key":"width","value":3,"group":4294967296})",
        R"({"t":"set","key":"width","value":3,"group":"1"})",
        R"({"t":"stopwatch","key":"width"})",   // on or off must be said
        R"({"t":"stopwatch","key":"width","on":1})",
        R"({"t":"stopwatch","key":"","on":true})",
        R"({"t":"stopwatch","key":"Width","on":true})",
        R"({"t":"removekey"})",
        R"({"t":"removekey","key":"a b"})",
        R"({"t":"frame","frame":1e10})",
        R"({"t":"frame","frame":NaN})",
        R"({"t":"undo")",   // cut short
        "{\"t\":\"undo\"}" + std::string(kMaxMessageBytes, ' '),
        std::string(200, '[') + std::string(200, ']'),
    };
    for (const std::string& text : refused) {
        EXPECT_THROW(ParseMessage(text), BadMessage) << text.substr(0, 120);
    }
}

}   // namespace
}   // namespace corvelle::serve
