// Writes a seeded dBASE III table for the benchmark: records of 182 bytes
// (C 30/60/20/40, N 8, N 10.2, N 4, L, D) with Cyrillic text in code page 866.
// Usage: make_table FILE MEGABYTES [SEED]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

struct Field {
  const char* name;
  char type;
  int width;
  int decimals;
};

const Field kFields[] = {{"NAME", 'C', 30, 0},  {"ADDRESS", 'C', 60, 0}, {"CITY", 'C', 20, 0},
                         {"NOTE", 'C', 40, 0},  {"QTY", 'N', 8, 0},      {"PRICE", 'N', 10, 2},
                         {"CODE", 'N', 4, 0},   {"ACTIVE", 'L', 1, 0},   {"BORN", 'D', 8, 0}};

void Put16(unsigned char* p, unsigned v) { p[0] = v & 0xFF; p[1] = (v >> 8) & 0xFF; }
void Put32(unsigned char* p, unsigned long v) {
  for (int i = 0; i < 4; ++i) p[i] = (v >> (8 * i)) & 0xFF;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_table FILE MEGABYTES [SEED]\n");
    return 2;
  }
  const unsigned long long bytes = std::strtoull(argv[2], nullptr, 10) * 1000000ull;
  std::mt19937_64 rng(argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1);
  const int nfields = sizeof kFields / sizeof kFields[0];
  int record_length = 1;
  for (const Field& f : kFields) record_length += f.width;
  const unsigned long records = static_cast<unsigned long>(bytes / record_length);

  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  unsigned char header[32] = {3, 126, 12, 11};
  Put32(header + 4, records);
  Put16(header + 8, 32 + 32 * nfields + 1);
  Put16(header + 10, record_length);
  std::fwrite(header, 1, 32, out);
  for (const Field& f : kFields) {
    unsigned char d[32] = {};
    std::memcpy(d, f.name, std::strlen(f.name));
    d[11] = static_cast<unsigned char>(f.type);
    d[16] = static_cast<unsigned char>(f.width);
    d[17] = static_cast<unsigned char>(f.decimals);
    std::fwrite(d, 1, 32, out);
  }
  std::fputc(0x0D, out);

  // Words of Cyrillic (code page 866) and Latin letters.
  std::vector<std::string> words;
  for (int i = 0; i < 512; ++i) {
    std::string w;
    int n = 3 + static_cast<int>(rng() % 9);
    bool latin = rng() % 5 == 0;
    for (int k = 0; k < n; ++k) {
      unsigned c = static_cast<unsigned>(latin ? 'a' + rng() % 26 : (rng() % 2 ? 0x80 + rng() % 48 : 0xE0 + rng() % 16));
      w += static_cast<char>(c);
    }
    words.push_back(w);
  }
  std::vector<unsigned char> buf;
  buf.reserve(record_length * 4096);
  char num[32];
  for (unsigned long r = 0; r < records; ++r) {
    buf.push_back(rng() % 50 == 0 ? '*' : ' ');
    for (const Field& f : kFields) {
      std::string v;
      switch (f.type) {
        case 'C':
          while (v.size() < static_cast<size_t>(f.width) * 2 / 3) v += words[rng() % words.size()] + " ";
          break;
        case 'N':
          if (f.decimals) std::snprintf(num, sizeof num, "%.2f", static_cast<double>(rng() % 10000000) / 100 - 20000);
          else std::snprintf(num, sizeof num, "%d", static_cast<int>(rng() % (f.width == 4 ? 9999 : 9999999)));
          v = num;
          break;
        case 'L': v = rng() % 2 ? "T" : "F"; break;
        default:
          std::snprintf(num, sizeof num, "%04d%02d%02d", 1930 + static_cast<int>(rng() % 90),
                        1 + static_cast<int>(rng() % 12), 1 + static_cast<int>(rng() % 28));
          v = num;
      }
      v.resize(std::min<size_t>(v.size(), f.width));
      std::string pad(f.width - v.size(), ' ');
      std::string cell = f.type == 'N' ? pad + v : v + pad;
      buf.insert(buf.end(), cell.begin(), cell.end());
    }
    if (buf.size() >= static_cast<size_t>(record_length) * 4000) {
      std::fwrite(buf.data(), 1, buf.size(), out);
      buf.clear();
    }
  }
  buf.push_back(0x1A);
  std::fwrite(buf.data(), 1, buf.size(), out);
  if (std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
}
