// The built program, run in a temporary folder: console bytes, exit codes and
// the files it leaves.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "script.h"
#include "table_builder.h"
#include "tool_runner.h"

namespace fs = std::filesystem;

namespace {

std::string Line(const std::string& utf8) { return Dos(utf8) + "\r\n"; }
std::string Guarded(const std::string& arg, const std::string& message) {
  return Dos("? \"") + arg + "\" - " + Dos(message) + "\r\n";
}
std::string Report(const std::string& kind, const std::string& message) {
  return "Exception " + kind + " in module " + ModuleName() + " at 00000000004012AB.\r\n" + message + "\r\n\r\n";
}
const std::string kDone = Line("! Процесс завершен.");
const std::string kNotDbf = Line("? Это не dbf-файлy");

TableBuilder People() {
  TableBuilder b;
  b.Field("NAME", 'C', 5).Field("FLAG", 'L', 1).Field("AGE", 'N', 3).Field("SUM", 'N', 8, 2);
  b.Record({Dos("Иван"), "T", "42", "12.50"});
  b.Record({"ABCDE", "F", "7", "-99.99"}, '*');
  return b;
}
const std::string kPeopleData = U16(5) + "\xC8\xE2\xE0\xED " + U16(42) + U32(1250) +
                                U16(5) + "ABCDE" + U16(7) + U32(static_cast<uint32_t>(-9999));
const std::string kPeopleScript =
    "Create table et\r\nExternal File 'p.dat' (\r\n"
    "  \"NAME\"         VarChar(5),\r\n"
    "  \"AGE\"          Numeric(3,0),\r\n"
    "  \"SUM\"          Numeric(8,2)\r\n);\r\n";

class Tool : public testing::Test {
 protected:
  fs::path P(const std::string& name) const { return dir_.path() / name; }
  void Put(const std::string& name, const std::string& bytes) const { WriteFile(P(name), bytes); }
  std::string Get(const std::string& name) const { return ReadFile(P(name)); }
  bool Has(const std::string& name) const { return fs::exists(fs::symlink_status(P(name))); }
  RunResult Run(const std::vector<std::string>& args) const { return RunTool(args, dir_.path()); }

  // p.dbf with `arg` as the data file: refused at its open step, no script.
  void ExpectDataRefused(const std::string& arg, const std::string& message) const {
    RunResult r = Run({"p.dbf", arg, "p.sql"});
    EXPECT_EQ(r.out, Guarded(arg, message));
    EXPECT_EQ(r.code, 99);
    EXPECT_FALSE(Has("p.sql"));
  }
  // p.dbf with `arg` as the script: refused at its open step, the data file complete.
  void ExpectScriptRefused(const std::string& arg, const std::string& message) const {
    RunResult r = Run({"p.dbf", "p.dat", arg});
    EXPECT_EQ(r.out, Guarded(arg, message));
    EXPECT_EQ(r.code, 99);
    EXPECT_EQ(Get("p.dat"), kPeopleData);
  }

  TempDir dir_;
};

TEST_F(Tool, CompleteRun) {
  Put("p.dbf", People().Build());
  RunResult r = Run({"p.dbf", "p.dat", "p.sql"});
  EXPECT_EQ(r.out, kDone);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(Get("p.dat"), kPeopleData);
  EXPECT_EQ(Get("p.sql"), kPeopleScript);
}

TEST_F(Tool, ReadOnlyTableConvertsAndStaysAsItWas) {
  const std::string table = People().Build();
  Put("p.dbf", table);
  fs::permissions(P("p.dbf"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  RunResult r = Run({"p.dbf", "p.dat", "p.sql"});
  EXPECT_EQ(r.out, kDone);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(Get("p.dbf"), table);
  EXPECT_EQ(Get("p.dat"), kPeopleData);
}

TEST_F(Tool, ReplacesExistingOutputs) {
  Put("p.dbf", People().Build());
  Put("p.dat", std::string(1000, 'x'));
  Put("p.sql", std::string(1000, 'y'));
  EXPECT_EQ(Run({"p.dbf", "p.dat", "p.sql"}).code, 0);
  EXPECT_EQ(Get("p.dat"), kPeopleData);
  EXPECT_EQ(Get("p.sql"), kPeopleScript);
}

TEST_F(Tool, TableOpenFailures) {
  fs::create_directory(P("folder"));
  mkfifo(P("fifo").c_str(), 0644);
  struct Case {
    std::string arg;
    std::string message;
    bool posix_only;  // an empty argument cannot be given on Windows; long names fail otherwise there
  };
  const Case cases[] = {
      {"missing.dbf", "File not found", false},
      {"", "File not found", true},
      {"no/such/dir/x.dbf", "Invalid filename", false},
      {"folder", "File access denied", false},
      {"fifo", "File access denied", false},  // refused without waiting for a writer
      {std::string(5000, 'n'), "Invalid filename", true},
  };
  for (const Case& c : cases) {
    if (c.posix_only && WindowsBuild()) continue;
    SCOPED_TRACE(c.arg.substr(0, 40));
    RunResult r = Run({c.arg, "p.dat", "p.sql"});
    EXPECT_EQ(r.out, Guarded(c.arg, c.message));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.code, 99);
    EXPECT_FALSE(Has("p.dat"));
    EXPECT_FALSE(Has("p.sql"));
  }
}

TEST_F(Tool, VersionByte) {
  const std::string table = People().Build();
  struct Case {
    std::string bytes;
    std::string out;
  };
  const Case cases[] = {
      {SetByte(table, 0, 4), Line("? Этот dbf-формат не поддерживается.")},
      {SetByte(table, 0, 0x83), kNotDbf},
      {SetByte(table, 0, 0x8B), kNotDbf},
      {SetByte(table, 0, 0xF5), kNotDbf},
      {SetByte(table, 0, 0x30), kNotDbf},
      {"", kNotDbf},
      {std::string(1, '\x04'), Line("? Этот dbf-формат не поддерживается.")},
      {Cut(table, 60), kNotDbf},  // ends inside the descriptors
      {Cut(table, 20), kNotDbf},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    Put("t.dbf", c.bytes);
    RunResult r = Run({"t.dbf", "p.dat", "p.sql"});
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.code, 99);
    EXPECT_FALSE(Has("p.dat"));
    EXPECT_FALSE(Has("p.sql"));
    EXPECT_EQ(Get("t.dbf"), c.bytes);
  }
}

TEST_F(Tool, MissingDataFileName) {
  Put("p.dbf", People().Build());
  if (WindowsBuild()) {
    // On Windows a pair of double quotes at the start of an argument is
    // skipped: the script's name becomes the data file's, and the script's is missing.
    RunResult r = Run({"p.dbf", "", "p.sql"});
    EXPECT_EQ(r.out, Guarded("", "Отсутствющее имя файла SQL-запроса."));
    EXPECT_EQ(r.code, 99);
    EXPECT_EQ(Get("p.sql"), kPeopleData);
    fs::remove(P("p.sql"));
  }
  for (const std::string& arg : {std::string(""), std::string("   "), std::string(" \t ")}) {
    if (arg.empty() && WindowsBuild()) continue;
    RunResult r = Run({"p.dbf", arg, "p.sql"});
    EXPECT_EQ(r.out, Guarded(arg, "Отсутствющее имя результирующего файла."));
    EXPECT_EQ(r.code, 99);
    EXPECT_FALSE(Has("p.sql"));
  }
  EXPECT_EQ(Run({"p.dbf"}).out, Guarded("", "Отсутствющее имя результирующего файла."));
}

TEST_F(Tool, MissingScriptNameLeavesACompleteDataFile) {
  Put("p.dbf", People().Build());
  for (const std::string& arg : {std::string(""), std::string("  ")}) {
    RunResult r = Run({"p.dbf", "p.dat", arg});
    EXPECT_EQ(r.out, Guarded(arg, "Отсутствющее имя файла SQL-запроса."));
    EXPECT_EQ(r.code, 99);
    EXPECT_EQ(Get("p.dat"), kPeopleData);
    fs::remove(P("p.dat"));
    if (WindowsBuild()) break;  // no empty argument there
  }
  EXPECT_EQ(Run({"p.dbf", "p.dat"}).code, 99);
  EXPECT_EQ(Get("p.dat"), kPeopleData);
}

TEST_F(Tool, OutputOpenFailures) {
  Put("p.dbf", People().Build());
  fs::create_directory(P("folder"));
  for (const auto& [arg, message] : std::vector<std::pair<std::string, std::string>>{
           {"no/dir/p.dat", "Invalid filename"}, {"folder", "File access denied"}}) {
    ExpectDataRefused(arg, message);
    ExpectScriptRefused(arg, message);
  }
}

// Naming the table (or the data file just written) as an output would destroy
// it; the open step refuses before anything is created or cut.
TEST_F(Tool, OutputThatIsTheTableOrTheDataFile) {
  const std::string table = People().Build();
  Put("p.dbf", table);
  fs::create_symlink("p.dbf", P("link.dbf"));
  fs::create_hard_link(P("p.dbf"), P("hard.dbf"));
  const std::string same_table = "Файл совпадает с исходной таблицей.";
  for (const char* name : {"p.dbf", "./p.dbf", "link.dbf", "hard.dbf"}) {
    SCOPED_TRACE(name);
    ExpectDataRefused(name, same_table);
    ExpectScriptRefused(name, same_table);
    EXPECT_EQ(Get("p.dbf"), table);
  }
  fs::create_symlink("p.dat", P("link.dat"));
  ExpectScriptRefused("link.dat", "Файл совпадает с результирующим файлом.");
  EXPECT_EQ(Get("p.dbf"), table);
}

TEST_F(Tool, DevicesAreFineAsOutputs) {
  Put("p.dbf", People().Build());
  RunResult r = Run({"p.dbf", "/dev/null", "/dev/null"});
  EXPECT_EQ(r.out, kDone);
  EXPECT_EQ(r.code, 0);
}

TEST_F(Tool, FullDiskEndsWithTheReport) {
  const std::string table = People().Build();
  Put("p.dbf", table);
  RunResult r = Run({"p.dbf", "/dev/full", "p.sql"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, Report("EInOutError", "Disk full."));
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(Has("p.sql"));

  r = Run({"p.dbf", "p.dat", "/dev/full"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, Report("EInOutError", "Disk full."));
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(Get("p.dat"), kPeopleData);
  EXPECT_EQ(Get("p.dbf"), table);
}

// The chunk buffer of a table with 1000 records of 65,535 bytes takes 64 MB;
// with less address space than that the run ends with the report.
TEST_F(Tool, OutOfMemoryEndsWithTheReport) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs the address space this test takes away";
#endif
  if (WindowsBuild()) GTEST_SKIP() << "an address-space limit is a POSIX matter";
  TableBuilder b;
  b.Field("A", 'C', 255).RecordLength(65535).RecordCount(1000).EofMarker(false);
  Put("big.dbf", b.Build());
  fs::resize_file(P("big.dbf"), b.DataOffset() + 65535ull * 1000);  // sparse: zero records
  const std::string table = Get("big.dbf");
  RunResult r = RunTool({"big.dbf", "big.dat", "big.sql"}, dir_.path(), 40LL << 20);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, Report("EOutOfMemory", "Out of memory."));
  EXPECT_EQ(r.code, 1);
  EXPECT_FALSE(Has("big.dat"));
  EXPECT_EQ(Get("big.dbf"), table);
  EXPECT_EQ(Run({"big.dbf", "big.dat", "big.sql"}).code, 0);  // with room enough it converts
}

// Standard output is a pipe nobody reads any more: the final line cannot be
// written, and that is reported, not hidden behind a signal.
TEST_F(Tool, ClosedStandardOutputIsReported) {
  if (WindowsBuild()) GTEST_SKIP() << "pipes and signals are a POSIX matter";
  Put("p.dbf", People().Build());
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  close(fds[0]);
  const std::string tool = ToolPath();
  const fs::path err = P("err.txt");
  pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir_.path().c_str()) != 0) _exit(126);
    dup2(fds[1], 1);
    int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(e, 2);
    execl(tool.c_str(), tool.c_str(), "p.dbf", "p.dat", "p.sql", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(Get("err.txt"), Report("EInOutError", "I/O error 32."));
  EXPECT_EQ(Get("p.dat"), kPeopleData);
  EXPECT_EQ(Get("p.sql"), kPeopleScript);
}

TEST_F(Tool, NamesStandInTheScriptAsTheyWereGiven) {
  Put("p.dbf", People().Build());
  for (const std::string name : {"it's.dat", " p.dat ", "-p.dat", "\xE9\xF6.dat"}) {
    // Windows drops trailing blanks from file names, and the bytes of a name
    // reach it through the runner's code page.
    if (WindowsBuild() && (name[0] == ' ' || name[0] == '\xE9')) continue;
    SCOPED_TRACE(name);
    RunResult r = Run({"p.dbf", name, "p.sql"});
    EXPECT_EQ(r.out, kDone);
    EXPECT_EQ(Get(name), kPeopleData);
    std::string literal = name == "it's.dat" ? "it''s.dat" : name;
    EXPECT_EQ(Get("p.sql").substr(0, 17 + 15 + literal.size() + 5),
              "Create table et\r\nExternal File '" + literal + "' (\r\n");
  }
}

TEST_F(Tool, OptionsHelpAndVersion) {
  for (const char* option : {"--help", "-h"}) {
    RunResult r = Run({"p.dbf", option});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find(Dos("Вызов: dbfext [ключи] таблица.dbf данные.dat запрос.sql") + "\r\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("--aligned"), std::string::npos);
    EXPECT_FALSE(Has("p.dat"));
  }
  RunResult r = Run({"--version"});
  EXPECT_EQ(r.out, "dbfext " DBFEXT_VERSION "\r\n");
  EXPECT_EQ(r.code, 0);

  // After "--" an option's name is a file name.
  r = Run({"--", "--help", "p.dat", "p.sql"});
  EXPECT_EQ(r.out, Guarded("--help", "File not found"));
  EXPECT_EQ(r.code, 99);
}

// The version and the options agree between the program, its man page and
// the README.
TEST_F(Tool, ManPageAndReadmeAgree) {
  const std::string version = "dbfext " DBFEXT_VERSION;
  EXPECT_EQ(Run({"--version"}).out, version + "\r\n");
  const std::string man = ReadFile(DBFEXT_MAN_PAGE);
  const std::string readme = ReadFile(fs::path(DBFEXT_SOURCE_DIR) / "README.md");
  EXPECT_NE(man.find(".TH DBFEXT 1 "), std::string::npos);
  EXPECT_NE(man.find("\"" + version + "\""), std::string::npos);
  EXPECT_NE(readme.find(version), std::string::npos);
  const std::string help = Run({"--help"}).out;
  for (const char* option : {"--aligned", "--help", "-h", "--version"}) {
    SCOPED_TRACE(option);
    EXPECT_NE(help.find(option), std::string::npos);
    std::string in_man(option);
    for (size_t at = in_man.find('-'); at != std::string::npos; at = in_man.find('-', at + 2)) in_man.insert(at, "\\");
    EXPECT_NE(man.find(in_man), std::string::npos) << in_man;
    EXPECT_NE(readme.find(std::string("`") + option + "`"), std::string::npos);
  }
}

TEST_F(Tool, SampleTable) {
  fs::copy_file(fs::path(DBFEXT_SOURCE_DIR) / "examples" / "people.dbf", P("people.dbf"));
  RunResult r = Run({"people.dbf", "people.dat", "people.sql"});
  ASSERT_EQ(r.code, 0);
  EXPECT_EQ(Get("people.sql"),
            "Create table et\r\nExternal File 'people.dat' (\r\n"
            "  \"NAME\"         VarChar(20),\r\n"
            "  \"CITY\"         VarChar(15),\r\n"
            "  \"AGE\"          Numeric(3,0),\r\n"
            "  \"SALARY\"       Numeric(10,2),\r\n"
            "  \"BORN\"         VarChar(8)\r\n);\r\n");
  // Decode the data file field by field and compare with the table's values.
  const std::string data = Get("people.dat");
  struct Row {
    std::string name, city;
    int32_t age, salary;
    std::string born;
  };
  auto Win = [](const std::string& utf8) {  // Windows-1251 via the translation table
    std::string s = Dos(utf8);
    for (char& c : s)
      if (uint8_t t = Cp866ToWin1251[static_cast<uint8_t>(c)]) c = static_cast<char>(t);
    return s;
  };
  const Row rows[] = {
      {"Иванов Иван", "Москва", 42, 1250050, "19830115"},
      {"Петрова Анна", "Санкт-Петербург", 35, 9800000, "19890702"},
      {"Сидоров Пётр", "Казань", -7, -15025, "20010311"},
      {"Ёлкина Мария", "Новосибирск", 28, -1, "19960930"},
      {"Smith John", "London", 61, 25000075, "19640501"},
  };
  const size_t record = 2 + 20 + 2 + 15 + 2 + 4 + 2 + 8;
  ASSERT_EQ(data.size(), 5 * record);
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    const auto* p = reinterpret_cast<const uint8_t*>(data.data()) + i * record;
    auto text = [&](size_t width) {
      EXPECT_EQ(GetU16(p), width);
      std::string s(reinterpret_cast<const char*>(p + 2), width);
      p += 2 + width;
      return Trim(s);
    };
    EXPECT_EQ(text(20), Win(rows[i].name));
    EXPECT_EQ(text(15), Win(rows[i].city));
    EXPECT_EQ(static_cast<int16_t>(GetU16(p)), rows[i].age);
    p += 2;
    EXPECT_EQ(static_cast<int32_t>(GetU32(p)), rows[i].salary);
    p += 4;
    EXPECT_EQ(text(8), rows[i].born);
  }
}

// A person at a UTF-8 terminal reads the tool's texts in UTF-8; file names
// stay as they were given, and anything not a terminal gets code page 866.
TEST_F(Tool, Utf8TerminalGetsUtf8Texts) {
  if (WindowsBuild()) GTEST_SKIP() << "a Windows console chooses its code page itself";
  Put("p.dbf", People().Build());
  EXPECT_EQ(Run({"p.dbf", "p.dat", ""}).out, Guarded("", "Отсутствющее имя файла SQL-запроса."));
  EXPECT_EQ(RunOnTerminal({"p.dbf", "p.dat", ""}, dir_.path(), "C.UTF-8"),
            "? \"\" - Отсутствющее имя файла SQL-запроса.\r\n");
  EXPECT_EQ(RunOnTerminal({"\xE9.dbf"}, dir_.path(), "C.UTF-8"), "? \"\xE9.dbf\" - File not found\r\n");
  EXPECT_EQ(RunOnTerminal({"p.dbf", "p.dat", "p.sql"}, dir_.path(), "C"), kDone);
}

}  // namespace
