// Writes the seed corpus: small valid tables and damaged ones.
// Usage: make_seeds FOLDER
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "table_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  int n = 0;
  auto put = [&](const std::string& bytes) {
    char name[32];
    std::snprintf(name, sizeof name, "seed-%03d", n++);
    std::ofstream(dir / name, std::ios::binary) << bytes;
  };
  TableBuilder people;
  people.Field("NAME", 'C', 5).Field("FLAG", 'L', 1).Field("AGE", 'N', 3).Field("SUM", 'N', 8, 2)
      .Field("BORN", 'D', 8).Field("BIG", 'N', 12, 3);
  people.Record({Dos("Иван"), "T", "42", "12.50", "19830115", "-123.456"});
  people.Record({"ABCDE", "F", "-7", "$1F", "", "999999999.99"}, '*');
  people.Record({"", "?", "", "0x10", "x", "1e5"});
  const std::string table = people.Build();
  put(table);
  put(TableBuilder().Build());
  put(TableBuilder().Field("A\"'", 'C', 0).Field("N", 'N', 0).Field("W", 'C', 255).Record({"", "", "w"}).Build());
  put(TableBuilder().Field("A", 'C', 3).Field("B", 'N', 4).RecordLength(3).RawRecord(" ab").Build());
  put(TableBuilder().Field("A", 'C', 3).RecordLength(0).RawRecord(" abc").Build());
  put(TableBuilder().Field("A", 'C', 3).RecordCount(0x80000000u).RawRecord(" abc").Build());
  put(TableBuilder().Field("A", 'N', 20, 19).Field("B", 'N', 18, 18).Record({"-1.5", ".5"}).Build());
  put(SetByte(table, 0, 4));
  put(Cut(table, 50));
  put(Cut(table, table.size() - 7));
  put(SetByte(table, 32 + 3 * 32, 'X'));  // no terminator where one should be
  return 0;
}
