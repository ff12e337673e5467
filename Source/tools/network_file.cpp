#include "tools/network_file.h"

namespace tools {

void write_network(OutputFile& out, eval::NetHeader h, const std::vector<int16_t>& w) {
  if (h.version == 752) h.width /= 2;  // that format stores one perspective's width
  const int32_t fields[10] = {h.version, h.output_divisor, h.weight_width, h.output_scale, h.king_buckets,
                              h.feature_set, h.width, h.hidden1, h.hidden2, h.output_buckets};
  std::vector<uint8_t> bytes;
  for (int32_t f : fields) bytes.insert(bytes.end(), {static_cast<uint8_t>(f), static_cast<uint8_t>(f >> 8)});
  const uint32_t count = static_cast<uint32_t>(w.size());
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(count >> (8 * i)));
  const bool wide = h.weight_width >= 128;
  for (int16_t v : w) {
    bytes.push_back(static_cast<uint8_t>(v));
    if (wide) bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
  }
  out.write(bytes.data(), bytes.size());
}

bool write_network_file(const char* path, eval::NetHeader h, const std::vector<int16_t>& w) {
  OutputFile out;
  if (!out.open(path, Existing::kReplace)) return false;
  write_network(out, h, w);
  return out.commit();
}

}  // namespace tools
