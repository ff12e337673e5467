#include "eval/network.h"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "eval/embedded.h"
#include "base/output.h"
#include "base/settings.h"

namespace eval {

Network network;

int network_loaded() { return network.weights != nullptr; }

namespace {

static_assert(std::endian::native == std::endian::little, "network weights are read as little-endian values");

// The shape of a network made by "new", and of the built-in one.
constexpr NetHeader kDefaultHeader = {781, 2048, 2048, 300, 2, 1, 3072, 0, 0, 6, 0};

void say(const char* format, const char* name = "", const char* detail = "") {
  base::emit_line(base::formatted(format, name, detail).c_str());
}

int16_t read16(const unsigned char* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }

NetHeader parse_header(const unsigned char* bytes) {
  NetHeader h;
  int32_t* fields[10] = {&h.version, &h.output_divisor, &h.weight_width, &h.output_scale, &h.king_buckets,
                         &h.feature_set, &h.width, &h.hidden1, &h.hidden2, &h.output_buckets};
  for (int i = 0; i < 10; ++i) *fields[i] = read16(bytes + 2 * i);
  h.weight_count = static_cast<int32_t>(static_cast<uint32_t>(bytes[20]) | (static_cast<uint32_t>(bytes[21]) << 8) |
                                        (static_cast<uint32_t>(bytes[22]) << 16) | (static_cast<uint32_t>(bytes[23]) << 24));
  return h;
}

// Applies the legacy fix-up and checks the shape. Returns 1 when the network can be used;
// otherwise says why (naming the source) and returns 0.
int accept_header(NetHeader& h, const char* name) {
  if (h.version == 752) {
    h.feature_set = 1;
    h.width *= 2;
  } else if (h.feature_set != 1) {
    say("net does not use Half_KA!");
    return 0;
  }
  char detail[80];
  if (h.width <= 0 || h.width % 256 != 0) {
    std::snprintf(detail, sizeof detail, "width %d is not a positive multiple of 256", h.width);
  } else if (h.king_buckets < 1 || h.king_buckets > 3) {
    std::snprintf(detail, sizeof detail, "%d king buckets, expected 1 to 3", h.king_buckets);
  } else if (h.hidden1 < 0 || h.hidden2 < 0) {
    std::snprintf(detail, sizeof detail, "negative hidden layer size");
  } else if (h.hidden1 > 0 && h.hidden2 > 0) {
    std::snprintf(detail, sizeof detail, "both hidden layers are used");
  } else if (h.output_divisor == 0) {
    std::snprintf(detail, sizeof detail, "output divisor 0");
  } else {
    h.weight_count = static_cast<int32_t>(weights_for(h));
    return 1;
  }
  say("info string %s: %s, not loaded", name, detail);
  return 0;
}

// Allocates the weight array for `h` (zero-filled, 64-byte aligned) and points the blocks
// into it. Returns 0 (with the message) when memory runs out.
int allocate(Network& net, const NetHeader& h) {
  size_t total = weights_for(h);
  size_t bytes = (total * sizeof(int16_t) + 63) / 64 * 64;
  auto* weights = static_cast<int16_t*>(std::aligned_alloc(64, bytes));
  if (!weights) {
    say("allocating memory for net failed!");
    return 0;
  }
  std::memset(weights, 0, bytes);
  size_t half = static_cast<size_t>(h.width / 2), w = static_cast<size_t>(h.width);
  size_t h1 = static_cast<size_t>(h.hidden1), h2 = static_cast<size_t>(h.hidden2);
  size_t outputs = h2 > 8 ? h2 : 8;
  net = Network{};
  net.header = h;
  net.weights = weights;
  net.total = total;
  net.feature_weights = weights;
  net.material_weights = net.feature_weights + static_cast<size_t>(h.king_buckets) * kFeaturesPerBucket * half;
  net.output_weights = net.material_weights + 16 * h1;
  net.material_output = net.output_weights + w * outputs;
  net.hidden2_output = net.material_output + outputs * h1;
  net.biases = net.hidden2_output + 8 * h2;
  net.material_biases = net.biases + w;
  net.hidden2_biases = net.material_biases + h1;
  return 1;
}

// Weights stored with `width` bytes each, from `bytes` into the network's array.
void fill(Network& net, const unsigned char* bytes, int width) {
  if (width == 2) {
    std::memcpy(net.weights, bytes, net.total * 2);
  } else {
    for (size_t i = 0; i < net.total; ++i) net.weights[i] = static_cast<int8_t>(bytes[i]);
  }
}

int stored_width(const NetHeader& h) { return h.weight_width >= 128 ? 2 : 1; }

// Puts a completely loaded network in force, retiring the previous one.
void install(Network& fresh) {
  uint32_t generation = network.generation + 1;
  std::free(network.weights);
  network = fresh;
  network.generation = generation;
}

void load_new() {
  say("creating new net...");
  Network fresh;
  if (allocate(fresh, kDefaultHeader)) {
    fresh.header.weight_count = static_cast<int32_t>(fresh.total);
    install(fresh);
  }
}

void load_embedded() {
  size_t size = 0;
  const unsigned char* image = embedded_network(size);
  if (!image) return;  // this build carries no network; whatever is in force stays
  const char* name = "embedded network";
  if (size < static_cast<size_t>(kHeaderBytes)) {
    say("info string %s is too short for a network header", name);
    return;
  }
  NetHeader h = parse_header(image);
  if (!accept_header(h, name)) return;
  if ((size - kHeaderBytes) / stored_width(h) < weights_for(h)) {
    say("info string %s ends inside the weights, not loaded", name);
    return;
  }
  Network fresh;
  if (!allocate(fresh, h)) return;
  fill(fresh, image + kHeaderBytes, stored_width(h));
  install(fresh);
  if (!base::quiet()) say("info string loaded embedded network");
}

// The bytes left in `file` after the current position, or -1 when they cannot be told.
long bytes_left(std::FILE* file) {
  long start = std::ftell(file);
  if (start < 0 || std::fseek(file, 0, SEEK_END) != 0) return -1;
  long end = std::ftell(file);
  if (end < start || std::fseek(file, start, SEEK_SET) != 0) return -1;
  return end - start;
}

void load_file(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (!file) {
    say("info string can't open %s", path);
    return;
  }
  unsigned char bytes[kHeaderBytes];
  if (std::fread(bytes, 1, kHeaderBytes, file) != static_cast<size_t>(kHeaderBytes)) {
    say("info string %s is too short for a network header", path);
    std::fclose(file);
    return;
  }
  NetHeader h = parse_header(bytes);
  if (!accept_header(h, path)) {
    std::fclose(file);
    return;
  }
  // The size is checked before allocating, so a damaged header cannot ask for gigabytes.
  int width = stored_width(h);
  long left = bytes_left(file);
  Network fresh;
  if (left < 0 || static_cast<size_t>(left) / static_cast<size_t>(width) < weights_for(h)) {
    say("info string %s ends inside the weights, not loaded", path);
  } else if (allocate(fresh, h)) {
    // 8-bit weights are read into the upper half of the array's bytes, then widened in
    // place from the front: element i is written after byte total + i has been read.
    auto* raw = reinterpret_cast<unsigned char*>(fresh.weights);
    unsigned char* target = width == 2 ? raw : raw + fresh.total;
    if (std::fread(target, static_cast<size_t>(width), fresh.total, file) != fresh.total) {
      say("info string %s ends inside the weights, not loaded", path);
      std::free(fresh.weights);
    } else {
      if (width == 1) fill(fresh, target, 1);
      install(fresh);
      say("info string loaded %s", path);
    }
  }
  std::fclose(file);
}

}  // namespace

size_t weights_for(const NetHeader& header) {
  size_t half = static_cast<size_t>(header.width / 2), w = static_cast<size_t>(header.width);
  size_t buckets = static_cast<size_t>(header.king_buckets);
  size_t h1 = static_cast<size_t>(header.hidden1), h2 = static_cast<size_t>(header.hidden2);
  size_t outputs = h2 > 8 ? h2 : 8;
  return buckets * kFeaturesPerBucket * half + 16 * h1 + w * outputs + outputs * h1 + 8 * h2 + w + h1 + h2;
}

void load_network() {
  const char* name = base::settings.nn_file.c_str();
  if (std::strcmp(name, "new") == 0) {
    load_new();
  } else if (std::strcmp(name, "embedded") == 0) {
    load_embedded();
  } else {
    load_file(name);
  }
}

}  // namespace eval
