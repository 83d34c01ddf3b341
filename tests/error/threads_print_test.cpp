// Threaded edition: messages of several threads never share lines or mix their
// records, also while one thread ends the process.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "core/edition.h"
#include "support/probe.h"

namespace {

#if VELM_THREADED

TEST(ThreadedEdition, ConcurrentMessagesKeepTheirRecordsTogether) {
  const auto result = velm_test::run_probe("threads_print");
  EXPECT_EQ(result.status, 1);
  // Split the output into messages at the empty record that starts each.
  std::istringstream in(result.output);
  std::string line;
  std::vector<std::vector<std::string>> messages;
  while (std::getline(in, line)) {
    if (line.empty()) {
      messages.emplace_back();
    } else {
      ASSERT_FALSE(messages.empty()) << "record outside a message: " << line;
      messages.back().push_back(line);
    }
  }
  ASSERT_GT(messages.size(), 100u);
  int terminal = 0;
  for (const auto& message : messages) {
    ASSERT_FALSE(message.empty());
    if (message[0].find("TERMINAL ERROR 5 from AMACH") != std::string::npos) {
      ++terminal;
      ASSERT_EQ(message.size(), 2u);
      EXPECT_EQ(message[1], " ***          inclusive. N = 0");
      continue;
    }
    // Header and two continuations (the message is recorded at the user
    // level, so no traceback), every record from one thread.
    ASSERT_EQ(message.size(), 3u) << message[0];
    const auto at = message[0].find("from THREAD");
    ASSERT_NE(at, std::string::npos) << message[0];
    const char thread = message[0][at + 11];
    EXPECT_EQ(message[0], std::string(" *** WARNING  ERROR 1 from THREAD") + thread +
                              ".  Thread " + thread + " reports a warning long enough");
    EXPECT_EQ(message[1],
              " ***          to need two continuation records after its header record, each ");
    EXPECT_EQ(message[2], std::string(" ***          one written by thread ") + thread + " alone.");
  }
  EXPECT_EQ(terminal, 1);
}

#endif

}  // namespace
