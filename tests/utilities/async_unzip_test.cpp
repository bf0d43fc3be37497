// Job numbers of the asynchronous unzip (the scripts never see them).
#include <gtest/gtest.h>

#include "host/thread_pool.h"
#include "support/temp_dir.h"
#include "utilities/async_unzip.h"

TEST(AsyncUnzip, JobsAreNumberedFromOne) {
  testsupport::temp_dir t;
  EXPECT_EQ(kit::utilities::last_unzip_job(), 0u);
  EXPECT_EQ(kit::utilities::queue_unzip(t / "missing.zip", t / "out", nullptr), 1u);
  EXPECT_EQ(kit::utilities::queue_unzip(t / "missing.zip", t / "out", nullptr), 2u);
  EXPECT_EQ(kit::utilities::last_unzip_job(), 2u);
  CThreadPool::Instance().Stop();
}
