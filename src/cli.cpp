#include "cli.h"

#include <algorithm>

#ifndef DBFEXT_VERSION
#define DBFEXT_VERSION "0.0.0"
#endif

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine cl;
  std::vector<std::string> positional;
  bool options = true;
  for (const std::string& arg : args) {
    if (options && arg == "--") options = false;
    else if (options && (arg == "--help" || arg == "-h")) cl.help = true;
    else if (options && arg == "--version") cl.version = true;
    else if (options && arg == "--aligned") cl.aligned = true;
    else positional.push_back(arg);
  }
  positional.resize(std::max<size_t>(positional.size(), 3));
  cl.table = positional[0];
  cl.data = positional[1];
  cl.script = positional[2];
  return cl;
}

void PrintVersion(Console& out) { out.Text("dbfext " DBFEXT_VERSION).EndLine(); }

void PrintHelp(Console& out) {
  static const char* const kLines[] = {
      "dbfext " DBFEXT_VERSION " - перенос таблицы dBASE III (текст в кодовой странице 866)",
      "в SQL-сервер: файл данных и запрос Create table et External File '...'.",
      "",
      "Вызов: dbfext [ключи] таблица.dbf данные.dat запрос.sql",
      "",
      "  таблица.dbf  исходная таблица dBASE III (версия 3); не изменяется",
      "  данные.dat   результирующий файл: записи таблицы в двоичном виде,",
      "               текст в кодировке Windows-1251; заменяется",
      "  запрос.sql   файл SQL-запроса, объявляющий таблицу et над файлом",
      "               данных; заменяется",
      "",
      "Ключи (в любом месте строки; после -- ключей нет):",
      "  --aligned    поля на тех смещениях, с которых их читает сервер",
      "               (Firebird 3): NAME C(5), AGE N(3,0), SUM N(8,2) ложатся",
      "               на смещения 0, 8, 12 записи из 16 байт; числа хранятся",
      "               масштабированными (12.5 в N(8,2) - 1250) в 2, 4 или 8",
      "               байтах, текст объявлен CHARACTER SET WIN1251",
      "  -h, --help   эта справка",
      "  --version    версия программы",
      "",
      "Коды возврата:",
      "  0   процесс завершен",
      "  99  ошибка, о которой сказано в сообщении",
      "  1   непредвиденная ошибка (отчет в потоке ошибок)",
  };
  for (const char* line : kLines) out.Text(line).EndLine();
}
