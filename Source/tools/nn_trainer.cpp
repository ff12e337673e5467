#include "tools/nn_trainer.h"

#include <algorithm>
#include <barrier>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <numeric>
#include <random>
#include <thread>

#include "base/settings.h"
#include "eval/accumulator.h"
#include "eval/inference.h"
#include "position/bitboard.h"
#include "position/position.h"
#include "tools/parallel.h"
#include "tools/training_record.h"

#ifdef __AVX2__
#include <immintrin.h>
#endif

namespace tools {

namespace {

constexpr double kBeta1 = 0.9, kBeta2 = 0.999, kEpsilon = 1e-8;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double rate_at(const NetTrainingOptions& options, double progress) {
  const double low = options.learning_rate * kFinalRateShare;
  return low + (options.learning_rate - low) * 0.5 * (1.0 + std::cos(std::numbers::pi * progress));
}

// Adam (with the bias corrections folded into alpha) and the decoupled decay over the
// parameters [from, to), whose gradients are cleared; every parameter stays within what
// its quantised form can hold.
void adam_step(NetModel& model, size_t from, size_t to, float* __restrict g, float* __restrict m, float* __restrict v,
               float alpha, float decay) {
  const float beta1 = static_cast<float>(kBeta1), beta2 = static_cast<float>(kBeta2);
  const float epsilon = static_cast<float>(kEpsilon);
  float* __restrict p = model.params.data();
  // The parameters' limits change only between the output rows and the rest.
  const size_t bounds[4] = {from, std::clamp(model.output_offset, from, to), std::clamp(model.bias_offset, from, to), to};
  for (int part = 0; part < 3; ++part) {
    const float limit = model.limit(bounds[part]);
    size_t i = bounds[part];
#ifdef __AVX2__
    const __m256 b1 = _mm256_set1_ps(beta1), b2 = _mm256_set1_ps(beta2);
    const __m256 c1 = _mm256_set1_ps(1 - beta1), c2 = _mm256_set1_ps(1 - beta2);
    const __m256 a = _mm256_set1_ps(alpha), d = _mm256_set1_ps(decay), e = _mm256_set1_ps(epsilon);
    const __m256 high = _mm256_set1_ps(limit), low = _mm256_set1_ps(-limit);
    for (; i + 8 <= bounds[part + 1]; i += 8) {
      const __m256 grad = _mm256_loadu_ps(g + i), param = _mm256_loadu_ps(p + i);
      const __m256 m1 = _mm256_add_ps(_mm256_mul_ps(b1, _mm256_loadu_ps(m + i)), _mm256_mul_ps(c1, grad));
      const __m256 v1 = _mm256_add_ps(_mm256_mul_ps(b2, _mm256_loadu_ps(v + i)), _mm256_mul_ps(_mm256_mul_ps(c2, grad), grad));
      const __m256 step = _mm256_div_ps(_mm256_mul_ps(a, m1), _mm256_add_ps(_mm256_sqrt_ps(v1), e));
      const __m256 next = _mm256_sub_ps(_mm256_sub_ps(param, step), _mm256_mul_ps(d, param));
      _mm256_storeu_ps(m + i, m1);
      _mm256_storeu_ps(v + i, v1);
      _mm256_storeu_ps(g + i, _mm256_setzero_ps());
      _mm256_storeu_ps(p + i, _mm256_min_ps(high, _mm256_max_ps(low, next)));
    }
#endif
    for (; i < bounds[part + 1]; ++i) {
      m[i] = beta1 * m[i] + (1 - beta1) * g[i];
      v[i] = beta2 * v[i] + (1 - beta2) * g[i] * g[i];
      g[i] = 0;
      const float next = p[i] - alpha * m[i] / (std::sqrt(v[i]) + epsilon) - decay * p[i];
      p[i] = std::min(limit, std::max(-limit, next));
    }
  }
}

}  // namespace

void train_network(NetModel& model, const std::vector<NetSample>& samples, const NetTrainingOptions& options,
                   const std::function<void(const EpochReport&)>& after_epoch) {
  const int threads = std::max(1, options.threads);
  const size_t count = model.params.size(), n = samples.size();
  const size_t batch = static_cast<size_t>(std::max(1, options.batch));
  const size_t steps = (n + batch - 1) / batch;
  const double total_steps = static_cast<double>(steps) * std::max(1, options.epochs);
  std::vector<std::vector<float>> gradients(threads, std::vector<float>(count, 0.0f));
  std::vector<float> m(count, 0.0f), v(count, 0.0f);
  std::vector<double> losses(threads);
  std::vector<uint32_t> order(n);
  std::iota(order.begin(), order.end(), 0u);
  std::mt19937_64 random(options.seed);
  size_t step_number = 0;

  for (int epoch = 1; epoch <= options.epochs && n > 0; ++epoch) {
    std::shuffle(order.begin(), order.end(), random);
    std::fill(losses.begin(), losses.end(), 0.0);
    std::barrier sync(threads);
    const auto start = std::chrono::steady_clock::now();
    on_threads(threads, [&](int t) {
      NetPass pass;
      float* gradient = gradients[t].data();
      for (size_t step = 0; step < steps; ++step) {
        const size_t first = step * batch, size = std::min(batch, n - first);
        const float scale = 1.0f / static_cast<float>(size);
        const size_t end = first + share_start(size, t + 1, threads);
        for (size_t i = first + share_start(size, t, threads); i < end; ++i) {
          // The samples are visited in random order: ask for the memory a few ahead.
          if (i + 4 < end) {
            const char* ahead = reinterpret_cast<const char*>(&samples[order[i + 4]]);
            __builtin_prefetch(ahead);
            __builtin_prefetch(ahead + sizeof(NetSample) - 1);
          }
          const NetSample& sample = samples[order[i]];
          const float y = forward(model, sample, pass);
          losses[t] += squared_error(y, sample.target);
          backward(model, sample, pass, scale * loss_slope(y, sample.target), gradient);
        }
        sync.arrive_and_wait();
        // Adam over this thread's share of the parameters, gathering (and clearing) the
        // gradients of every thread.
        const size_t taken = step_number + step + 1;
        const double rate = rate_at(options, static_cast<double>(taken - 1) / total_steps);
        const float alpha = static_cast<float>(rate * std::sqrt(1.0 - std::pow(kBeta2, static_cast<double>(taken))) /
                                               (1.0 - std::pow(kBeta1, static_cast<double>(taken))));
        const float decay = static_cast<float>(rate * options.weight_decay);
        const size_t from = share_start(count, t, threads, 16), to = share_start(count, t + 1, threads, 16);
        float* __restrict g = gradients[0].data();
        for (int k = 1; k < threads; ++k) {
          float* __restrict other = gradients[k].data();
          for (size_t i = from; i < to; ++i) {
            g[i] += other[i];
            other[i] = 0;
          }
        }
        adam_step(model, from, to, g, m.data(), v.data(), alpha, decay);
        sync.arrive_and_wait();
      }
    });
    step_number += steps;
    if (after_epoch) {
      EpochReport report;
      report.epoch = epoch;
      report.learning_rate = rate_at(options, static_cast<double>(step_number) / total_steps);
      report.training_error = std::accumulate(losses.begin(), losses.end(), 0.0) / static_cast<double>(n);
      report.seconds = seconds_since(start);
      after_epoch(report);
    }
  }
}

namespace {

template <typename Loss>
double parallel_mean(size_t n, int threads, Loss loss) {
  threads = std::max(1, threads);
  std::vector<double> sums(threads, 0.0);
  on_threads(threads, [&](int t) {
    for (size_t i = share_start(n, t, threads); i < share_start(n, t + 1, threads); ++i) sums[t] += loss(i, t);
  });
  return n ? std::accumulate(sums.begin(), sums.end(), 0.0) / static_cast<double>(n) : 0.0;
}

}  // namespace

double mean_error(const NetModel& model, const std::vector<NetSample>& samples, int threads) {
  std::vector<NetPass> passes(std::max(1, threads));
  return parallel_mean(samples.size(), threads, [&](size_t i, int t) {
    return static_cast<double>(squared_error(forward(model, samples[i], passes[t]), samples[i].target));
  });
}

double mean_quantised_error(const QuantisedNet& net, const std::vector<NetSample>& samples, int threads) {
  return parallel_mean(samples.size(), threads, [&](size_t i, int) {
    const double error = score_to_prob(quantised_score(net, samples[i])) - samples[i].target;
    return error * error;
  });
}

namespace {

// A bare board holding the sample's men, enough for the network evaluation.
position::Position sample_position(const NetSample& sample) {
  position::Position pos{};
  for (int i = 0; i < sample.count; ++i) {
    const int colour = sample.piece[i] >> 3, type = sample.piece[i] & 7;
    pos.board[sample.square[i]] = sample.piece[i];
    pos.pieces[colour][0] |= position::bit(sample.square[i]);
    pos.pieces[colour][type] |= position::bit(sample.square[i]);
  }
  pos.king_square[0] = sample.king[0];
  pos.king_square[1] = sample.king[1];
  pos.side = sample.side;
  return pos;
}

// Loads the network file `path` as the engine does and evaluates `samples` with it;
// reports how many values differ from the quantised pass, and how far the quantised pass
// is from the float network. Returns the number of differences.
size_t check_in_engine(const char* path, const NetModel& model, const std::vector<NetSample>& samples) {
  base::settings.nn_file = path;
  eval::load_network();
  const QuantisedNet net = quantise(model);
  eval::Accumulator accumulator{};
  NetPass pass;
  size_t differ = 0;
  double largest = 0, total = 0;
  for (const NetSample& sample : samples) {
    const position::Position pos = sample_position(sample);
    const int expected = quantised_score(net, sample);
    differ += eval::evaluate_for_display(pos, accumulator) != expected;
    const double gap = std::fabs(static_cast<double>(forward(model, sample, pass)) * kCentipawnsPerUnit - expected);
    largest = std::max(largest, gap);
    total += gap;
  }
  eval::free_accumulators(accumulator);
  std::printf("the engine's evaluation with %s differs from the trainer's quantised pass on %zu of %zu held-out "
              "positions; the quantised pass is %.2f centipawns from the float network on average, %.1f at most\n",
              path, differ, samples.size(), total / static_cast<double>(std::max<size_t>(1, samples.size())), largest);
  return differ;
}

}  // namespace

int run_network_training(const char* file, uint64_t positions) {
  const base::EngineSettings& s = base::settings;
  NetShape shape;
  shape.width = s.net_width;
  shape.king_buckets = s.net_king_buckets;
  shape.output_buckets = s.net_output_buckets;
  if (const char* problem = unloadable_shape(shape)) {
    std::printf("cannot train this network: %s\n", problem);
    return 1;
  }
  std::vector<NetSample> samples;
  if (!load_net_samples(file, samples)) {
    std::printf("cannot read training records from %s\n", file);
    return 1;
  }
  if (samples.size() < 100) {
    std::printf("too few usable positions in %s: %zu\n", file, samples.size());
    return 1;
  }
  const size_t held = samples.size() / 10, train = samples.size() - held;
  const std::vector<NetSample> held_out(samples.begin() + static_cast<long>(train), samples.end());
  samples.resize(train);

  NetTrainingOptions options;
  // Every thread keeps a gradient of the whole network: no more than the processor runs.
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  options.threads = std::clamp<int>(s.threads, 1, cores > 0 ? cores : 1);
  if (s.learning_rate > 0) options.learning_rate = s.learning_rate;
  if (s.mini_batch > 0) options.batch = s.mini_batch;
  options.weight_decay = std::max(0.0f, s.train_weight);
  options.epochs = static_cast<int>(std::min<uint64_t>(100000, std::max<uint64_t>(1, (positions + train - 1) / train)));

  NetModel model(shape);
  model.randomise(options.seed);
  double mean_target = 0, spread = 0;
  for (const NetSample& sample : held_out) mean_target += sample.target;
  mean_target /= static_cast<double>(held_out.size());
  for (const NetSample& sample : held_out) spread += (sample.target - mean_target) * (sample.target - mean_target);
  spread /= static_cast<double>(held_out.size());
  std::printf("network %d wide, %d king bucket(s), %d output bucket(s): %zu weights\n", shape.width,
              shape.king_buckets, shape.output_buckets, model.params.size());
  std::printf("%zu positions for training, %zu held out; %d epochs, batch %d, rate %g, decay %g, %d threads\n",
              train, held_out.size(), options.epochs, options.batch, options.learning_rate, options.weight_decay,
              options.threads);
  std::printf("losses are mean squared errors of the win probability; held out: %.6f for the best constant, "
              "%.6f before training\n", spread, mean_error(model, held_out, options.threads));

  int best_epoch = 0;
  double best_loss = 1e9;
  bool written = true;
  char name[32] = "";
  train_network(model, samples, options, [&](const EpochReport& r) {
    const double held_loss = mean_error(model, held_out, options.threads);
    const double quantised_loss = mean_quantised_error(quantise(model), held_out, options.threads);
    std::snprintf(name, sizeof name, "nn_epoch%03d.net", r.epoch);
    const bool saved = save_network(model, name);
    written = written && saved;
    std::printf("epoch %3d  rate %.6f  loss: training %.6f  held out %.6f, quantised %.6f  %.1f s, %.0f positions/s  %s%s\n",
                r.epoch, r.learning_rate, r.training_error, held_loss, quantised_loss, r.seconds,
                static_cast<double>(train) / std::max(r.seconds, 1e-9), saved ? "wrote " : "cannot write ", name);
    if (quantised_loss < best_loss) best_loss = quantised_loss, best_epoch = r.epoch;
  });
  std::printf("lowest held-out loss %.6f after epoch %d (nn_epoch%03d.net)\n", best_loss, best_epoch, best_epoch);
  if (!written) return 1;
  return check_in_engine(name, model, held_out) == 0 ? 0 : 1;
}

}  // namespace tools
