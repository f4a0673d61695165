// Outputs written beside their destination and renamed over it only on
// success.
#include "frame/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "frame_test_support.h"
#include "platform/files.h"
#include "platform/last_error.h"

namespace nc::frame {
namespace {

using Names = std::vector<std::string>;
using test::ReadFileText;
using test::WriteFileText;

class OutputFileTest : public ::testing::Test {
 protected:
  void Put(OutputFile& output, const std::string& text) {
    std::uint32_t done = 0;
    ASSERT_TRUE(platform::WriteFile(output.file, text.data(),
                                    static_cast<std::uint32_t>(text.size()), &done));
    ASSERT_EQ(done, text.size());
  }
  test::TempFolder folder_;
  const std::string destination_ = folder_ / "out.bin";
};

TEST_F(OutputFileTest, NewDestinationAppearsOnlyOnCommit) {
  OutputFile output;
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
  ASSERT_NE(output.file, platform::kInvalidFile);
  // The temporary file lies in the destination's folder.
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(output.temporary).parent_path(),
                                          folder_.path()));
  Put(output, "new contents");
  EXPECT_FALSE(std::filesystem::exists(destination_));
  EXPECT_EQ(folder_.Names().size(), 1u);

  ASSERT_TRUE(CommitOutput(output));
  EXPECT_TRUE(output.committed);
  EXPECT_EQ(output.file, platform::kInvalidFile);
  EXPECT_EQ(ReadFileText(destination_), "new contents");
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
}

TEST_F(OutputFileTest, ExistingDestinationIsReplacedOnlyOnCommit) {
  WriteFileText(destination_, "old contents");
  OutputFile output;
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
  Put(output, "new");
  EXPECT_EQ(ReadFileText(destination_), "old contents");
  ASSERT_TRUE(CommitOutput(output));
  EXPECT_EQ(ReadFileText(destination_), "new");
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});

  // Nothing undoes a commit.
  DiscardOutput(output);
  EXPECT_EQ(ReadFileText(destination_), "new");
  EXPECT_FALSE(CommitOutput(output));
}

TEST_F(OutputFileTest, DiscardLeavesTheDestinationAsItWas) {
  WriteFileText(destination_, "old contents");
  OutputFile output;
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
  Put(output, "new");
  DiscardOutput(output);
  EXPECT_EQ(output.file, platform::kInvalidFile);
  EXPECT_EQ(ReadFileText(destination_), "old contents");
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
  DiscardOutput(output);  // again: nothing happens
  EXPECT_FALSE(CommitOutput(output));
  EXPECT_EQ(ReadFileText(destination_), "old contents");
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
}

TEST_F(OutputFileTest, UncommittedOutputIsRemovedWhenItGoesOutOfScope) {
  WriteFileText(folder_ / "kept.bin", "old contents");
  {
    OutputFile kept;
    ASSERT_TRUE(CreateOutput(kept, (folder_ / "kept.bin").c_str(), true));
    Put(kept, "new");
    OutputFile fresh;
    ASSERT_TRUE(CreateOutput(fresh, destination_.c_str(), false));
    Put(fresh, "new");
    EXPECT_EQ(folder_.Names().size(), 3u);
  }
  EXPECT_EQ(ReadFileText(folder_ / "kept.bin"), "old contents");
  EXPECT_EQ(folder_.Names(), Names{"kept.bin"});
}

TEST_F(OutputFileTest, CreatingAgainDropsTheFirstTemporaryFile) {
  OutputFile output;
  ASSERT_TRUE(CreateOutput(output, (folder_ / "first.bin").c_str(), false));
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
  EXPECT_EQ(folder_.Names().size(), 1u);
  Put(output, "second");
  ASSERT_TRUE(CommitOutput(output));
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
  EXPECT_EQ(ReadFileText(destination_), "second");
}

TEST_F(OutputFileTest, OutputsToOneFolderDoNotCollide) {
  std::vector<std::unique_ptr<OutputFile>> outputs;
  for (int i = 0; i < 20; ++i) {
    outputs.push_back(std::make_unique<OutputFile>());
    std::string name = folder_ / ("out" + std::to_string(i) + ".bin");
    ASSERT_TRUE(CreateOutput(*outputs.back(), name.c_str(), false));
    Put(*outputs.back(), std::to_string(i));
  }
  EXPECT_EQ(folder_.Names().size(), 20u);
  for (auto& output : outputs) ASSERT_TRUE(CommitOutput(*output));
  for (int i = 0; i < 20; ++i)
    EXPECT_EQ(ReadFileText(folder_ / ("out" + std::to_string(i) + ".bin")), std::to_string(i));
  EXPECT_EQ(folder_.Names().size(), 20u);
}

// Windows cannot rename over a file that is open (the operations close their
// sources before committing); POSIX can, and a reader keeps the old bytes.
#ifndef _WIN32
TEST_F(OutputFileTest, DestinationMayBeAFileThatIsBeingRead) {
  WriteFileText(destination_, "source text");
  platform::ScopedFile source(platform::OpenForRead(destination_.c_str()));
  ASSERT_TRUE(source.valid());
  OutputFile output;
  ASSERT_TRUE(CreateOutput(output, destination_.c_str(), true));
  Put(output, "rewritten");
  ASSERT_TRUE(CommitOutput(output)) << "last error " << platform::GetLastErrorCode();
  EXPECT_EQ(ReadFileText(destination_), "rewritten");
  // The reader still reads what it opened.
  char buffer[32] = {};
  std::uint32_t got = 0;
  ASSERT_TRUE(platform::ReadFile(source.get(), buffer, sizeof buffer - 1, &got));
  EXPECT_STREQ(buffer, "source text");
  source.Close();
  EXPECT_EQ(folder_.Names(), Names{"out.bin"});
}
#endif

TEST_F(OutputFileTest, MissingFolderFailsWithTheLastErrorSet) {
  std::string destination = folder_ / "missing/out.bin";
  platform::SetLastErrorCode(0);
  OutputFile output;
  EXPECT_FALSE(CreateOutput(output, destination.c_str(), false));
  EXPECT_NE(platform::GetLastErrorCode(), 0u);
  EXPECT_EQ(output.file, platform::kInvalidFile);
  EXPECT_FALSE(CommitOutput(output));
  EXPECT_TRUE(folder_.Names().empty());
}

TEST_F(OutputFileTest, FailedCommitRemovesTheTemporaryFile) {
  // A folder stands where the output should go: the rename cannot replace it.
  std::filesystem::create_directory(folder_.path() / "busy");
  WriteFileText(folder_ / "busy/inside.txt", "kept");
  std::string destination = folder_ / "busy";
  OutputFile output;
  ASSERT_TRUE(CreateOutput(output, destination.c_str(), false));
  Put(output, "new");
  platform::SetLastErrorCode(0);
  EXPECT_FALSE(CommitOutput(output));
  EXPECT_NE(platform::GetLastErrorCode(), 0u);
  EXPECT_FALSE(output.committed);
  EXPECT_EQ(folder_.Names(), Names{"busy"});
  EXPECT_EQ(ReadFileText(folder_ / "busy/inside.txt"), "kept");
}

#ifndef _WIN32
TEST_F(OutputFileTest, SecretOutputIsPrivateToItsOwner) {
  using std::filesystem::perms;
  const perms others = perms::group_all | perms::others_all;
  for (bool secret : {true, false}) {
    SCOPED_TRACE(secret);
    OutputFile output;
    ASSERT_TRUE(CreateOutput(output, destination_.c_str(), secret));
    ASSERT_TRUE(CommitOutput(output));
    perms p = std::filesystem::status(destination_).permissions();
    if (secret)
      EXPECT_EQ(p & others, perms::none);
    else
      EXPECT_NE(p & perms::owner_read, perms::none);
  }
}

// A file written over an existing one keeps that file's permissions, so a
// plaintext decrypted over a private file does not become readable by all.
TEST_F(OutputFileTest, ReplacedDestinationKeepsItsPermissions) {
  using std::filesystem::perms;
  for (perms mode : {perms::owner_read | perms::owner_write,
                     perms::owner_all | perms::group_read | perms::others_read}) {
    WriteFileText(destination_, "old");
    std::filesystem::permissions(destination_, mode);
    OutputFile output;
    ASSERT_TRUE(CreateOutput(output, destination_.c_str(), false));
    ASSERT_TRUE(CommitOutput(output));
    EXPECT_EQ(std::filesystem::status(destination_).permissions(), mode);
  }
}
#endif

}  // namespace
}  // namespace nc::frame
