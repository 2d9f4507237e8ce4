// The trace writer: nesting, results on the line or on a closing line, and exact components.
#include "TraceWriter.h"

#include <gtest/gtest.h>

#include <cmath>

namespace device {
namespace {

TEST(TraceWriterTest, ResultsEndTheirLineOrCloseTheirNestedEvents) {
  Trace trace;
  trace.Open("call A#a layoutSubviews");
  trace.Open("send B f");
  const std::string no = "NO";
  trace.Close(&no);  // nothing nested: on its own line
  trace.Open("send C g");
  trace.Event("read \"x\" found");
  const std::string dict = "NSDictionary";
  trace.Close(&dict);  // nested events: a closing line
  trace.Open("send D h");
  trace.Open("impl D D#d h");
  trace.Close(nullptr);
  trace.Close(nullptr);  // void: no closing line
  trace.Close(nullptr);
  EXPECT_EQ(trace.text(),
            "call A#a layoutSubviews\n"
            "  send B f -> NO\n"
            "  send C g\n"
            "    read \"x\" found\n"
            "  -> NSDictionary\n"
            "  send D h\n"
            "    impl D D#d h\n");
}

TEST(TraceWriterTest, NothingIsKeptWhileNotRecording) {
  Trace trace;
  trace.SetRecording(false);
  trace.Open("objc_getClass");
  trace.Event("x");
  trace.Close(nullptr);
  trace.SetRecording(true);
  trace.Event("y");
  EXPECT_EQ(trace.text(), "y\n");
}

TEST(TraceWriterTest, ComponentsPrintExactlyAndAlikeInBothWidthsWhenAFloatHoldsThem) {
  EXPECT_EQ(Trace::Component(1), "1");
  EXPECT_EQ(Trace::Component(0.5), "0.5");
  EXPECT_EQ(Trace::Component(static_cast<float>(18) / 255.0f), "0.0705882385");
  EXPECT_EQ(Trace::Component(24.0 / 255), "0.094117647058823528");
  EXPECT_EQ(Trace::Component(static_cast<float>(24.0 / 255)), "0.0941176489");
  EXPECT_EQ(Trace::Component(1.0 / 3), "0.33333333333333331");
  EXPECT_EQ(Trace::Component(NAN), "nan");
  EXPECT_EQ(Trace::Component(-INFINITY), "-inf");
}

TEST(TraceWriterTest, StringsAreJsonStrings) {
  EXPECT_EQ(Trace::Quote("a\"b\\c\n\t\x01\xc3\xa9"), "\"a\\\"b\\\\c\\n\\t\\u0001\xc3\xa9\"");
}

}  // namespace
}  // namespace device
