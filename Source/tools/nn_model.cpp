#include "tools/nn_model.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "tools/network_file.h"

#ifdef __AVX2__
#include <immintrin.h>
#endif

namespace tools {

namespace {

constexpr float kNegativeSlope = 1.0f / 64;
constexpr int kScoreLimit = 3000;

float activate(float x) { return x >= 0 ? x : x * kNegativeSlope; }

// a[j] += b[j] for j < n.
void add_row(float* __restrict a, const float* __restrict b, int n) {
  for (int j = 0; j < n; ++j) a[j] += b[j];
}

// out = bias + the rows of `index`, each lane summed in the same order on every path.
void accumulate(float* out, const float* bias, const float* weights, const uint16_t* index, int count, int half) {
#ifdef __AVX2__
  // 64 lanes at a time held in registers while every row is added.
  if (half % 64 == 0) {
    for (int start = 0; start < half; start += 64) {
      __m256 v[8];
      for (int r = 0; r < 8; ++r) v[r] = _mm256_loadu_ps(bias + start + 8 * r);
      for (int i = 0; i < count; ++i) {
        const float* row = weights + static_cast<size_t>(index[i]) * half + start;
        for (int r = 0; r < 8; ++r) v[r] = _mm256_add_ps(v[r], _mm256_loadu_ps(row + 8 * r));
      }
      for (int r = 0; r < 8; ++r) _mm256_storeu_ps(out + start + 8 * r, v[r]);
    }
    return;
  }
#endif
  std::copy_n(bias, half, out);
  for (int i = 0; i < count; ++i) add_row(out, weights + static_cast<size_t>(index[i]) * half, half);
}

// The rows of `index` and `bias` each grow by delta.
void spread(float* gradient, float* bias, const float* delta, const uint16_t* index, int count, int half) {
#ifdef __AVX2__
  if (half % 64 == 0) {
    for (int start = 0; start < half; start += 64) {
      __m256 d[8];
      for (int r = 0; r < 8; ++r) d[r] = _mm256_loadu_ps(delta + start + 8 * r);
      for (int i = -1; i < count; ++i) {
        float* row = (i < 0 ? bias : gradient + static_cast<size_t>(index[i]) * half) + start;
        for (int r = 0; r < 8; ++r) _mm256_storeu_ps(row + 8 * r, _mm256_add_ps(_mm256_loadu_ps(row + 8 * r), d[r]));
      }
    }
    return;
  }
#endif
  add_row(bias, delta, half);
  for (int i = 0; i < count; ++i) add_row(gradient + static_cast<size_t>(index[i]) * half, delta, half);
}

// Sum of activate(pre[j]) x row[j] for j < n.
float activated_dot(const float* pre, const float* row, int n) {
  int j = 0;
  float sum = 0;
#ifdef __AVX2__
  const __m256 slope = _mm256_set1_ps(kNegativeSlope);
  __m256 sums[4] = {_mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps(), _mm256_setzero_ps()};
  for (; j + 32 <= n; j += 32) {
    for (int r = 0; r < 4; ++r) {
      const __m256 x = _mm256_loadu_ps(pre + j + 8 * r);
      const __m256 active = _mm256_max_ps(x, _mm256_mul_ps(x, slope));
      sums[r] = _mm256_fmadd_ps(active, _mm256_loadu_ps(row + j + 8 * r), sums[r]);
    }
  }
  __m256 total = _mm256_add_ps(_mm256_add_ps(sums[0], sums[1]), _mm256_add_ps(sums[2], sums[3]));
  __m128 x = _mm_add_ps(_mm256_castps256_ps128(total), _mm256_extractf128_ps(total, 1));
  x = _mm_add_ps(x, _mm_movehl_ps(x, x));
  x = _mm_add_ss(x, _mm_shuffle_ps(x, x, 1));
  sum = _mm_cvtss_f32(x);
#endif
  for (; j < n; ++j) sum += activate(pre[j]) * row[j];
  return sum;
}

int16_t quantised(float x, int scale) {
  long q = std::lround(static_cast<double>(x) * scale);
  return static_cast<int16_t>(std::clamp(q, -32767L, 32767L));
}

int16_t saturate(int x) { return static_cast<int16_t>(std::clamp(x, -32768, 32767)); }

}  // namespace

const char* unloadable_shape(const NetShape& shape) {
  if (shape.width < 256 || shape.width % 256 != 0 || shape.width > 32512)
    return "the width must be a multiple of 256 from 256 to 32512";
  if (shape.king_buckets < 1 || shape.king_buckets > 3) return "king buckets must be 1, 2 or 3";
  if (shape.output_buckets != 1 && shape.output_buckets != 6) return "output buckets must be 1 or 6";
  return nullptr;
}

NetModel::NetModel(const NetShape& s) : shape(s), half(s.width / 2) {
  const size_t features = static_cast<size_t>(s.king_buckets) * eval::kFeaturesPerBucket * half;
  output_offset = features;
  bias_offset = output_offset + static_cast<size_t>(kOutputRows) * s.width;
  params.assign(bias_offset + s.width, 0.0f);
}

void NetModel::randomise(uint64_t seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<float> feature(-0.25f, 0.25f);
  std::uniform_real_distribution<float> output(-1.0f / std::sqrt(static_cast<float>(shape.width)),
                                               1.0f / std::sqrt(static_cast<float>(shape.width)));
  for (size_t i = 0; i < output_offset; ++i) params[i] = feature(random);
  for (size_t i = output_offset; i < bias_offset; ++i) params[i] = output(random);
  std::fill(params.begin() + static_cast<long>(bias_offset), params.end(), 0.0f);
}

const float* NetModel::output_row(const NetSample& sample) const {
  const int row = shape.output_buckets > 1 ? sample.bucket : 0;
  return params.data() + output_offset + static_cast<size_t>(row) * shape.width;
}

float forward(const NetModel& model, const NetSample& sample, NetPass& pass) {
  const int half = model.half;
  pass.pre.resize(2 * static_cast<size_t>(half));
  net_features(sample, model.shape.king_buckets, pass.features);
  for (int c = 0; c < 2; ++c)
    accumulate(pass.pre.data() + c * half, model.params.data() + model.bias_offset + c * half, model.params.data(),
               pass.features.index[c], pass.features.count, half);
  const float* row = model.output_row(sample);
  const float* own = pass.pre.data() + sample.side * half;
  const float* other = pass.pre.data() + (sample.side ^ 1) * half;
  return pass.y = activated_dot(own, row, half) + activated_dot(other, row + half, half);
}

void backward(const NetModel& model, const NetSample& sample, NetPass& pass, float dy, float* gradient) {
  const int half = model.half;
  pass.delta.resize(2 * static_cast<size_t>(half));
  const float* row = model.output_row(sample);
  float* row_gradient = gradient + (row - model.params.data());
  for (int part = 0; part < 2; ++part) {
    // part 0: the side to move's accumulator and the first half of the row.
    const int c = part == 0 ? sample.side : sample.side ^ 1;
    const float* pre = pass.pre.data() + c * half;
    const float* weights = row + part * half;
    float* out = row_gradient + part * half;
    float* delta = pass.delta.data() + c * half;
    for (int j = 0; j < half; ++j) {
      out[j] += dy * activate(pre[j]);
      delta[j] = dy * weights[j] * (pre[j] >= 0 ? 1.0f : kNegativeSlope);
    }
  }
  for (int c = 0; c < 2; ++c)
    spread(gradient, gradient + model.bias_offset + c * half, pass.delta.data() + c * half, pass.features.index[c],
           pass.features.count, half);
}

float sample_loss(float y, float target) {
  // log(1 + e^y) - target x y, written to stay finite for large |y|.
  const float softplus = y > 0 ? y + std::log1p(std::exp(-y)) : std::log1p(std::exp(y));
  return softplus - target * y;
}

float loss_slope(float y, float target) { return 1.0f / (1.0f + std::exp(-y)) - target; }

float squared_error(float y, float target) {
  const float error = 1.0f / (1.0f + std::exp(-y)) - target;
  return error * error;
}

QuantisedNet quantise(const NetModel& model) {
  QuantisedNet net;
  const NetShape& s = model.shape;
  net.header = {kNetVersion, kDivisor, 2048, kCentipawnsPerUnit, s.king_buckets, 1, s.width, 0, 0,
                s.output_buckets > 1 ? 6 : 0, static_cast<int32_t>(model.params.size())};
  net.weights.resize(model.params.size());
  for (size_t i = 0; i < model.params.size(); ++i) {
    const bool output = i >= model.output_offset && i < model.bias_offset;
    net.weights[i] = quantised(model.params[i], output ? kOutputWeightScale : kAccumulatorScale);
  }
  return net;
}

int quantised_score(const QuantisedNet& net, const NetSample& sample) {
  const eval::NetHeader& h = net.header;
  const int width = h.width, half = width / 2;
  const int16_t* features = net.weights.data();
  const int16_t* outputs = features + static_cast<size_t>(h.king_buckets) * eval::kFeaturesPerBucket * half;
  const int16_t* biases = outputs + static_cast<size_t>(kOutputRows) * width;
  NetFeatures f;
  net_features(sample, h.king_buckets, f);

  std::vector<int16_t> acc(static_cast<size_t>(width));
  for (int c = 0; c < 2; ++c) {
    int16_t* a = acc.data() + c * half;
    std::copy_n(biases + c * half, half, a);
    for (int i = 0; i < f.count; ++i) {
      const int16_t* row = features + static_cast<size_t>(f.index[c][i]) * half;
      for (int j = 0; j < half; ++j) a[j] = saturate(a[j] + row[j]);
    }
    for (int j = 0; j < half; ++j) a[j] = static_cast<int16_t>(a[j] < 0 ? a[j] / 64 : a[j]);
  }
  const int16_t* row = outputs + static_cast<size_t>(h.output_buckets >= 1 ? sample.bucket : 0) * width;
  int64_t sum = 0;
  for (int part = 0; part < 2; ++part) {
    const int16_t* a = acc.data() + (part == 0 ? sample.side : sample.side ^ 1) * half;
    uint32_t dot = 0;
    for (int j = 0; j < half; ++j) dot += static_cast<uint32_t>(a[j] * row[part * half + j]);
    sum += static_cast<int64_t>(static_cast<int32_t>(dot)) / h.output_divisor;
  }
  const float raw = static_cast<float>(static_cast<double>(sum) / h.output_divisor);
  double scaled = std::round(static_cast<double>(h.output_scale) * static_cast<double>(raw));
  scaled = std::clamp(scaled, -1e6, 1e6);
  return std::clamp(static_cast<int>(scaled), -kScoreLimit, kScoreLimit);
}

bool save_network(const NetModel& model, const char* path) {
  const QuantisedNet net = quantise(model);
  return write_network_file(path, net.header, net.weights);
}

}  // namespace tools
