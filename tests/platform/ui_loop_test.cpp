// The UI loop goes on when a handler fails, also one run straight from the loop's context
// (socket and timer completions).
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>

#include <boost/asio/post.hpp>

#include "platform/ui_loop.h"
#include "platform/ui_loop_asio.h"

using kit::platform::ui_loop;

TEST(UiLoop, HandlersThatThrowEndOnlyThemselves) {
  auto& loop = ui_loop::instance();
  loop.restart();
  std::string trace;
  auto& io = kit::platform::ui_io_context();
  boost::asio::post(io, [&] {
    trace += "a";
    throw std::bad_alloc();
  });
  loop.post([&] {
    trace += "b";
    throw std::runtime_error("posted");
  });
  boost::asio::post(io, [&] {
    trace += "c";
    throw 42;
  });
  loop.post([&] {
    trace += "d";
    loop.stop();
  });
  testing::internal::CaptureStderr();
  EXPECT_NO_THROW(loop.run());
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(trace, "abcd");
  EXPECT_NE(err.find("std::bad_alloc"), std::string::npos) << err;
}
