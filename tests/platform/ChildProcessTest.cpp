// A child program started with descriptors handed over, the channel and the
// memory files the two share, and how its end is told.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "platform/child_process.h"
#include "platform/file_io.h"

namespace {

using morvel::platform::ChildEnd;
using morvel::platform::ChildProcess;

ChildEnd RunShell(const std::string& script, const std::vector<std::pair<int, int>>& handed = {}) {
  ChildProcess child;
  EXPECT_EQ(child.Start("/bin/sh", {"sh", "-c", script}, handed), 0);
  ChildEnd end;
  end.ExitStatus = -1;
  EXPECT_TRUE(child.Reap(true, &end));
  EXPECT_FALSE(child.Running());
  return end;
}

TEST(ChildProcess, ItsEndIsToldByExitStatusOrSignal) {
  const struct {
    const char* Script;
    bool Exited;
    int Status;
    bool Signalled;
    const char* Signal;
    bool PastCpu;
  } cases[] = {
      {"exit 0", true, 0, false, "", false},
      {"exit 3", true, 3, false, "", false},
      {"kill -KILL $$", false, 0, true, "Killed", false},
      {"kill -PROF $$", false, 0, true, "Profiling timer expired", true},
      {"kill -XCPU $$", false, 0, true, "CPU time limit exceeded", true},
  };
  for (const auto& c : cases) {
    const ChildEnd end = RunShell(c.Script);
    EXPECT_EQ(end.Exited, c.Exited) << c.Script;
    EXPECT_EQ(end.ExitStatus, c.Status) << c.Script;
    EXPECT_EQ(end.Signalled, c.Signalled) << c.Script;
    EXPECT_EQ(end.SignalText, c.Signal) << c.Script;
    EXPECT_EQ(end.PastCpuTime, c.PastCpu) << c.Script;
  }
}

TEST(ChildProcess, AProgramThatIsNotThereDoesNotStart) {
  ChildProcess child;
  EXPECT_EQ(child.Start("/nonexistent/program", {"program"}, {}), ENOENT);
  EXPECT_FALSE(child.Running());
  EXPECT_FALSE(morvel::platform::IsRunnable("/nonexistent/program"));
  EXPECT_TRUE(morvel::platform::IsRunnable("/bin/sh"));
}

TEST(ChildProcess, KilledItEndsBySignal) {
  ChildProcess child;
  ASSERT_EQ(child.Start("/bin/sh", {"sh", "-c", "sleep 30"}, {}), 0);
  EXPECT_FALSE(child.Reap(false));
  EXPECT_TRUE(child.Running());
  child.Kill();
  ChildEnd end;
  EXPECT_TRUE(child.Reap(true, &end));
  EXPECT_TRUE(end.Signalled);
  EXPECT_FALSE(end.PastCpuTime);
}

// The memory file and the channel reach the child under its own numbers; its
// answer comes back as one packet, and what it wrote is in the shared file.
TEST(ChildProcess, HandedDescriptorsCarryTheSharedFileAndTheChannel) {
  const int memory = morvel::platform::DescriptorAbove(morvel::platform::NewMemoryFile("morvel-test"), 10);
  ASSERT_GE(memory, 10);
  ASSERT_TRUE(morvel::platform::WriteAll(memory, "handed"));
  EXPECT_EQ(morvel::platform::FileSize(memory), 6);
  int mine = -1, theirs = -1;
  ASSERT_TRUE(morvel::platform::PacketChannel(mine, theirs));
  ChildProcess child;
  ASSERT_EQ(
      child.Start("/bin/sh", {"sh", "-c", "cat /dev/fd/3 >&4; printf ' back' >>/dev/fd/3"}, {{memory, 3}, {theirs, 4}}),
      0);
  morvel::platform::CloseDescriptor(theirs);
  ASSERT_EQ(morvel::platform::WaitToRead(mine, 10000), 1);
  char packet[64] = {};
  EXPECT_EQ(morvel::platform::ReceivePacket(mine, packet, sizeof packet), 6);
  EXPECT_STREQ(packet, "handed");
  ChildEnd end;
  ASSERT_TRUE(child.Reap(true, &end));
  EXPECT_EQ(end.ExitStatus, 0);
  const int64_t size = morvel::platform::FileSize(memory);
  ASSERT_EQ(size, 11);
  const void* shared = morvel::platform::MapFile(memory, static_cast<size_t>(size), false);
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(shared), static_cast<size_t>(size)), "handed back");
  morvel::platform::UnmapFile(const_cast<void*>(shared), static_cast<size_t>(size));
  // The child has gone: nothing more comes, and a packet sent fails.
  EXPECT_EQ(morvel::platform::ReceivePacket(mine, packet, sizeof packet), 0);
  EXPECT_LT(morvel::platform::SendPacket(mine, "x", 1), 0);
  morvel::platform::CloseDescriptor(mine);
  morvel::platform::CloseDescriptor(memory);
}

TEST(ChildProcess, FileHoldingNamesTheProgramOfAFunction) {
  const std::string self = morvel::platform::FileHolding(reinterpret_cast<const void*>(&RunShell));
  EXPECT_NE(self.find("platform_tests"), std::string::npos) << self;
  EXPECT_EQ(self.front(), '/');
}

}  // namespace
