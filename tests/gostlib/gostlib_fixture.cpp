#include "gostlib_fixture.hpp"

// The library's helpers (wipe) for its sources that the tests compile in
// (ec256.cpp, mont1024.cpp); the library itself is loaded, never linked.
#include "../../gostlib/common.cpp"

#include <fstream>
#include <map>
#include <random>
#include <sstream>

namespace gosttest {

const Library& lib() {
  static const Library instance("libcrypt.dll");
  return instance;
}

namespace {

// A parameter block as the engine passes it: rows K8 first.
std::array<uint8_t, kParamBlockSize> params_of(const uint8_t (&rows)[8][16]) {
  std::array<uint8_t, kParamBlockSize> block{};
  for (int i = 1; i <= 8; ++i) std::memcpy(block.data() + (8 - i) * 16, rows[i - 1], 16);
  return block;
}

}  // namespace

std::array<uint8_t, kParamBlockSize> test_params() {
  static const uint8_t rows[8][16] = {
      {4, 10, 9, 2, 13, 8, 0, 14, 6, 11, 1, 12, 7, 15, 5, 3},   // K1
      {14, 11, 4, 12, 6, 13, 15, 10, 2, 3, 8, 1, 0, 7, 5, 9},   // K2
      {5, 8, 1, 13, 10, 3, 4, 2, 14, 15, 12, 7, 6, 0, 9, 11},   // K3
      {7, 13, 10, 1, 0, 8, 9, 15, 14, 4, 6, 12, 11, 2, 5, 3},   // K4
      {6, 12, 7, 1, 5, 15, 13, 8, 4, 10, 9, 14, 0, 3, 11, 2},   // K5
      {4, 11, 10, 0, 7, 2, 1, 13, 3, 6, 8, 5, 9, 12, 15, 14},   // K6
      {13, 11, 4, 1, 3, 15, 5, 9, 0, 10, 14, 7, 6, 8, 2, 12},   // K7
      {1, 15, 13, 0, 5, 7, 10, 4, 9, 2, 3, 14, 6, 11, 8, 12},   // K8
  };
  return params_of(rows);
}

std::array<uint8_t, kParamBlockSize> cryptopro_params() {
  static const uint8_t rows[8][16] = {
      {10, 4, 5, 6, 8, 1, 3, 7, 13, 12, 14, 0, 9, 2, 11, 15},  // K1
      {5, 15, 4, 0, 2, 13, 11, 9, 1, 7, 6, 3, 12, 14, 10, 8},  // K2
      {7, 15, 12, 14, 9, 4, 1, 0, 3, 11, 5, 2, 6, 10, 8, 13},  // K3
      {4, 10, 7, 12, 0, 15, 2, 8, 14, 1, 6, 5, 13, 11, 9, 3},  // K4
      {7, 6, 4, 11, 9, 12, 2, 10, 1, 8, 0, 14, 15, 13, 3, 5},  // K5
      {7, 6, 2, 4, 13, 9, 15, 0, 10, 1, 5, 11, 8, 14, 12, 3},  // K6
      {13, 14, 4, 1, 7, 0, 5, 10, 3, 12, 8, 15, 6, 2, 9, 11},  // K7
      {1, 3, 10, 9, 5, 11, 4, 15, 8, 6, 7, 14, 13, 0, 2, 12},  // K8
  };
  return params_of(rows);
}

const std::vector<Row>& vectors(const std::string& file, const std::string& kind) {
  static std::map<std::string, std::map<std::string, std::vector<Row>>> files;
  auto [entry, added] = files.try_emplace(file);
  if (added) {
    std::ifstream in(std::string(DZ_SOURCE_DIR) + "/tests/gostlib/vectors/" + file);
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string name, field;
      fields >> name;
      Row row;
      while (fields >> field) row.push_back(field == "-" ? "" : field);
      entry->second[name].push_back(row);
    }
  }
  const std::vector<Row>& rows = entry->second[kind];
  EXPECT_FALSE(rows.empty()) << "no " << kind << " lines in vectors/" << file;
  return rows;
}

Bytes random_bytes(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes b(n);
  for (auto& x : b) x = uint8_t(gen());
  return b;
}

Bytes reversed(Bytes b) { return Bytes(b.rbegin(), b.rend()); }

Bytes lib_hash(const Bytes& data, size_t piece) { return lib_hash_with(test_params(), data, piece); }

Bytes lib_hash_with(const std::array<uint8_t, kParamBlockSize>& params, const Bytes& data, size_t piece) {
  auto init = lib().fn<HashInitFn>("RuroV_R34_11_1994_init");
  auto update = lib().fn<UpdateFn>("RuroV_R34_11_1994_update");
  auto final = lib().fn<FinalFn>("RuroV_R34_11_1994_final");
  auto clear = lib().fn<ClearFn>("RuroV_R34_11_1994_clear");
  uint8_t ctx[120] = {};
  uint8_t state[kStateSize] = {};
  const uint8_t start[32] = {};
  Bytes digest(32);
  EXPECT_EQ(init(ctx, params.data(), state, start), 0);
  for (size_t off = 0; off < data.size(); off += piece) {
    const size_t n = std::min(piece, data.size() - off);
    EXPECT_EQ(update(ctx, data.data() + off, int32_t(n)), 0);
  }
  EXPECT_EQ(final(ctx, digest.data()), 0);
  EXPECT_EQ(clear(ctx), 0);
  return digest;
}

}  // namespace gosttest
