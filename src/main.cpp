// dbfext: a dBASE III table in, a data file and its Create table script out.
//
// The run sequence. Only the three open steps catch failures: they print
// ? "<argument>" - <message> and end the run with 99. Any other failure
// escapes to the report on standard error and exit code 1.
#include <memory>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"
#include "convert.h"
#include "platform.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitReported = 99;
constexpr int kExitUnhandled = 1;

const char kNotSupported[] = "? Этот dbf-формат не поддерживается.";
const char kNotDbf[] = "? Это не dbf-файлy";
const char kNoDataName[] = "Отсутствющее имя результирующего файла.";
const char kNoScriptName[] = "Отсутствющее имя файла SQL-запроса.";
const char kSameAsTable[] = "Файл совпадает с исходной таблицей.";
const char kSameAsData[] = "Файл совпадает с результирующим файлом.";
const char kDone[] = "! Процесс завершен.";

// Runs one open step; on any failure prints the guarded-failure line and
// returns nothing.
template <class Step>
auto Guarded(Console& out, const std::string& arg, Step step) -> std::optional<decltype(step())> {
  std::string message;
  try {
    return step();
  } catch (const Exception& e) {
    message = e.Message();
  } catch (const std::bad_alloc&) {
    message = "Out of memory";
  }
  out.Text("? \"").Bytes(arg).Text("\" - ").Text(message).EndLine();
  return std::nullopt;
}

// Opens an output for writing. Names that lead to a file the run still needs
// are refused before anything is created or cut.
std::unique_ptr<File> CreateOutput(const std::string& name, const char* missing_message,
                                   const std::vector<std::pair<FileId, const char*>>& keep) {
  if (Trim(name).empty()) throw EInOutError(0, missing_message);
  auto check = [&](const FileId& id) {
    if (!id.regular) return;  // a device can be written twice over
    for (const auto& [kept, message] : keep)
      if (kept == id) throw Exception(message);
  };
  FileId existing;
  if (File::Lookup(name, &existing)) check(existing);
  std::unique_ptr<File> file = File::OpenWrite(name);
  check(file->Id());  // the name may have changed hands since the look
  file->Truncate();
  return file;
}

int Run(const CommandLine& cl) {
  Console out(1);
  if (cl.help || cl.version) {
    if (cl.help) PrintHelp(out);
    else PrintVersion(out);
    return kExitDone;
  }
  TableConversion conversion(cl.aligned ? Layout::kAligned : Layout::kPacked);

  auto table = Guarded(out, cl.table, [&] { return File::OpenRead(cl.table); });
  if (!table) return kExitReported;
  const FileId table_id = (*table)->Id();

  switch (conversion.Read(**table)) {  // header, descriptors, data area set-up
    case TableConversion::Verdict::kUnsupportedVersion:
      out.Text(kNotSupported).EndLine();
      return kExitReported;
    case TableConversion::Verdict::kNotATable:
      out.Text(kNotDbf).EndLine();
      return kExitReported;
    case TableConversion::Verdict::kTable:
      break;
  }

  auto data = Guarded(out, cl.data, [&] {
    return CreateOutput(cl.data, kNoDataName, {{table_id, kSameAsTable}});
  });
  if (!data) return kExitReported;
  const FileId data_id = (*data)->Id();

  conversion.ConvertRecords(**data);

  conversion.ReleaseChunkBuffer();
  (*table)->Close();
  (*data)->Close();

  auto script = Guarded(out, cl.script, [&] {
    return CreateOutput(cl.script, kNoScriptName, {{table_id, kSameAsTable}, {data_id, kSameAsData}});
  });
  if (!script) return kExitReported;
  conversion.WriteScript(**script, cl.data);
  (*script)->Close();

  out.Text(kDone).EndLine();
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string program = ProgramName(argc > 0 ? argv[0] : nullptr);
  try {
    return Run(ParseCommandLine(CommandLineArguments(argc, argv)));
  } catch (const Exception& e) {
    ReportUnhandled(program, e.KindName(), e.Message());
  } catch (const std::bad_alloc&) {
    ReportUnhandled(program, "EOutOfMemory", "Out of memory");
  } catch (const std::exception& e) {
    ReportUnhandled(program, "Exception", e.what());
  }
  return kExitUnhandled;
}
