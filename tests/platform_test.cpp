#include "platform.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

#include "cli.h"
#include "memory_files.h"

namespace {

TEST(IoMessage, Table) {
  EXPECT_EQ(IoMessage(2), "File not found");
  EXPECT_EQ(IoMessage(3), "Invalid filename");
  EXPECT_EQ(IoMessage(4), "Too many open files");
  EXPECT_EQ(IoMessage(5), "File access denied");
  EXPECT_EQ(IoMessage(101), "Disk full");
  EXPECT_EQ(IoMessage(6), "I/O error 6");
  EXPECT_EQ(IoMessage(100), "I/O error 100");
}

#ifndef _WIN32
TEST(ErrorFromOs, MapsErrorNumbersOntoTheTable) {
  struct Case {
    int os_error;
    const char* path;
    bool writing;
    const char* message;
  };
  const Case cases[] = {
      {ENOENT, "missing.dbf", false, "File not found"},
      {ENOENT, "/", false, "File not found"},
      {ENOENT, "/no/such/folder/x.dbf", false, "Invalid filename"},
      {ENOTDIR, "a/b", false, "Invalid filename"},
      {ENAMETOOLONG, "x", false, "Invalid filename"},
      {EMFILE, "x", false, "Too many open files"},
      {ENFILE, "x", false, "Too many open files"},
      {EACCES, "x", false, "File access denied"},
      {EPERM, "x", true, "File access denied"},
      {EISDIR, "x", true, "File access denied"},
      {EROFS, "x", true, "File access denied"},
      {ENOSPC, "x", true, "Disk full"},
      {EDQUOT, "x", true, "Disk full"},
      {EIO, "x", false, "I/O error 5"},  // EIO is 5, yet not "File access denied"
      {ENOSPC, "x", false, "I/O error 28"},
      {ELOOP, "x", false, "I/O error 40"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.os_error);
    EInOutError e = ErrorFromOs(c.os_error, c.path, c.writing);
    EXPECT_EQ(e.Message(), c.message);
    EXPECT_STREQ(e.KindName(), "EInOutError");
  }
}
#endif

TEST(Trim, RemovesControlBytesAndBlanksAtBothEnds) {
  EXPECT_EQ(Trim("  a b \t\r\n"), "a b");
  EXPECT_EQ(Trim(std::string("\0\x01x\x20", 4)), "x");
  EXPECT_EQ(Trim("\xFF x \xFF"), "\xFF x \xFF");
  EXPECT_EQ(Trim(" \x1F "), "");
}

TEST(Cp866FromUtf8, ConvertsTheTextsOfTheTool) {
  EXPECT_EQ(Cp866FromUtf8("! Процесс завершен."),
            "! \x8F\xE0\xAE\xE6\xA5\xE1\xE1 \xA7\xA0\xA2\xA5\xE0\xE8\xA5\xAD.");
  EXPECT_EQ(Cp866FromUtf8("АЯапряЁё"), "\x80\x9F\xA0\xAF\xE0\xEF\xF0\xF1");
  EXPECT_EQ(Cp866FromUtf8("a—b"), "a?b");
}

class FailingOutput : public OutputFile {
 public:
  void WriteAll(const void* buf, size_t n) override {
    ++calls;
    if (fail) throw IoError(kDiskFull);
    bytes.append(static_cast<const char*>(buf), n);
  }
  bool fail = false;
  int calls = 0;
  std::string bytes;
};

void Put(OutBuffer& b, const std::string& s) {
  uint8_t* p = b.Reserve(s.size());
  memcpy(p, s.data(), s.size());
  b.Commit(p + s.size());
}

TEST(OutBuffer, WritesOnlyWhenFullAndWhenFlushed) {
  FailingOutput out;
  OutBuffer b(out, 8);
  Put(b, "abcde");
  Put(b, "fgh");
  EXPECT_EQ(out.calls, 0);
  Put(b, "i");
  EXPECT_EQ(out.bytes, "abcdefgh");
  b.Flush();
  EXPECT_EQ(out.bytes, "abcdefghi");
  EXPECT_EQ(out.calls, 2);
  b.Flush();
  EXPECT_EQ(out.calls, 2);
}

TEST(OutBuffer, KeepsWhatWasConvertedWhenAnotherFailureEndsTheRun) {
  FailingOutput out;
  try {
    OutBuffer b(out, 8);
    Put(b, "abc");
    throw std::runtime_error("read failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_EQ(out.bytes, "abc");
}

TEST(OutBuffer, WritesNothingMoreAfterAFailedWrite) {
  FailingOutput out;
  {
    OutBuffer b(out, 4);
    Put(b, "abcd");
    out.fail = true;
    EXPECT_THROW(Put(b, "e"), EInOutError);
    out.fail = false;
    Put(b, "f");
  }
  EXPECT_EQ(out.calls, 1);
  EXPECT_EQ(out.bytes, "");
}

TEST(SplitCommandLine, Cases) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"dbfext a.dbf b.dat c.sql", {"dbfext", "a.dbf", "b.dat", "c.sql"}},
      {"  dbfext\ta.dbf   b.dat  ", {"dbfext", "a.dbf", "b.dat"}},
      {"dbfext \"my table.dbf\" b.dat", {"dbfext", "my table.dbf", "b.dat"}},
      {"dbfext a\"b c\"d", {"dbfext", "ab cd"}},                // quotes group inside an argument
      {"dbfext \"\" b.dat", {"dbfext", "b.dat"}},                 // an empty pair is skipped
      {"dbfext \"\"\"\" \"\"b.dat", {"dbfext", "b.dat"}},
      {"dbfext \"\"\"x y\"", {"dbfext", "x y"}},                // the pair, then a quoted part
      {"dbfext a\"\"b", {"dbfext", "ab"}},                       // only at the start is it skipped
      {"dbfext \"unclosed arg", {"dbfext", "unclosed arg"}},
      {"dbfext C:\\out\\x.dat \\\"", {"dbfext", "C:\\out\\x.dat", "\\"}},  // no backslash escapes
      {"dbfext \x01\x1F\xFF", {"dbfext", "\xFF"}},
      {"", {}},
      {"\"\"", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(SplitCommandLine(c.line), c.args);
  }
}

TEST(ParseCommandLine, OptionsStandAnywhereUntilDoubleDash) {
  CommandLine cl = ParseCommandLine({"t.dbf", "--aligned", "d.dat", "s.sql", "extra"});
  EXPECT_TRUE(cl.aligned);
  EXPECT_FALSE(cl.help);
  EXPECT_EQ(cl.table, "t.dbf");
  EXPECT_EQ(cl.data, "d.dat");
  EXPECT_EQ(cl.script, "s.sql");

  cl = ParseCommandLine({"--", "--help", "-x", "--version"});
  EXPECT_FALSE(cl.help);
  EXPECT_FALSE(cl.version);
  EXPECT_EQ(cl.table, "--help");
  EXPECT_EQ(cl.data, "-x");
  EXPECT_EQ(cl.script, "--version");

  cl = ParseCommandLine({"a", "-h"});
  EXPECT_TRUE(cl.help);
  EXPECT_EQ(cl.table, "a");
  EXPECT_EQ(cl.data, "");
  EXPECT_EQ(cl.script, "");

  cl = ParseCommandLine({"", " ", "--version"});
  EXPECT_TRUE(cl.version);
  EXPECT_EQ(cl.table, "");
  EXPECT_EQ(cl.data, " ");
}

}  // namespace
