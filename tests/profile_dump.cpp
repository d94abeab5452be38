// Reads a list of (section, key) queries from a profile file with the
// Linux profile reader, for comparison with Windows' reader.
// usage: profile_dump INI QUERIES OUT
//   QUERIES: lines "section<TAB>key"; OUT: lines "section<TAB>key<TAB>value-in-hex"
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/profile_reader.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const auto profile = camsetup::ProfileReader::Load(argv[1]);
  if (!profile) return 2;
  std::ifstream queries(argv[2]);
  std::ofstream out(argv[3], std::ios::binary);
  std::string line;
  while (std::getline(queries, line)) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string section = line.substr(0, tab);
    const std::string key = line.substr(tab + 1);
    const std::string value = profile->Get(section, key, "0", 255);
    out << section << '\t' << key << '\t';
    for (unsigned char c : value) {
      char hex[3];
      std::snprintf(hex, sizeof(hex), "%02x", c);
      out << hex;
    }
    out << '\n';
  }
  return 0;
}
