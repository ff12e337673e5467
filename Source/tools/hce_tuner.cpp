#include "tools/hce_tuner.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/settings.h"
#include "eval/hce.h"
#include "eval/hce_info.h"
#include "eval/params.h"
#include "eval/state.h"
#include "tools/parallel.h"
#include "tools/training_file.h"
#include "tools/training_record.h"

namespace tools {

namespace {

using eval::params;

// The packed score of the side to move over the other side, as two halves.
void packed_total(const eval::EvalInfo& info, int side, int& mg, int& eg) {
  const int32_t total = static_cast<int32_t>(info.score[side] - info.score[side ^ 1]);
  mg = eval::score_mg(total);
  eg = eval::score_eg(total);
}

void set_param(eval::EvalParam& p, float mg, float eg) {
  p.mg = mg;
  p.eg = eg;
  p.score = eval::pack_score(static_cast<int>(mg), static_cast<int>(eg));
}

bool frozen(int index) {
  const char* name = params[index].name;
  return !std::strcmp(name, "mtl_pawn") || !std::strcmp(name, "mtl_imbalance") || !std::strcmp(name, "ttune");
}

double sigmoid(double x) { return 1.0 / (1.0 + std::exp(-x)); }

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TuningSet build_tuning_set(const std::vector<position::Position>& positions, const std::vector<float>& targets,
                           int threads) {
  const size_t n = positions.size();
  threads = std::max(1, threads);
  std::vector<std::unique_ptr<eval::EvalState>> states;
  for (int t = 0; t < threads; ++t) states.push_back(std::make_unique<eval::EvalState>());

  TuningSet set;
  set.phase.resize(n);
  set.scale.resize(n);
  set.offset_mg.resize(n);
  set.offset_eg.resize(n);
  set.target = targets;
  std::vector<int16_t> base_mg(n), base_eg(n);
  in_parallel(n, threads, [&](int t, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      eval::EvalInfo info;
      const position::Position& pos = positions[i];
      const int value = eval::hce_evaluate(pos, *states[t], 0, info);
      int mg, eg;
      packed_total(info, pos.side, mg, eg);
      base_mg[i] = static_cast<int16_t>(mg);
      base_eg[i] = static_cast<int16_t>(eg);
      set.phase[i] = info.phase;
      // The scale the evaluation applied: read back from its own result where it can be.
      const int tapered = static_cast<int>(static_cast<double>(mg * info.phase) + static_cast<double>(eg * (1.0f - info.phase)));
      set.scale[i] = eval::scale_factor(pos, pos.side == position::kWhite ? tapered : -tapered);
      (void)value;
    }
  });

  // Nudge one parameter at a time; every position is evaluated again in parallel.
  struct Found {
    uint32_t position;
    ParamWeight weight;
  };
  std::vector<std::vector<Found>> found(threads);
  for (int index = 0; index < eval::param_count; ++index) {
    eval::EvalParam& p = params[index];
    const eval::EvalParam saved = p;
    set_param(p, saved.mg + kNudge, saved.eg + kNudge);
    in_parallel(n, threads, [&](int t, size_t begin, size_t end) {
      for (size_t i = begin; i < end; ++i) {
        eval::EvalInfo info;
        eval::hce_evaluate(positions[i], *states[t], 0, info);
        int mg, eg;
        packed_total(info, positions[i].side, mg, eg);
        const int dmg = mg - base_mg[i], deg = eg - base_eg[i];
        if (dmg || deg)
          found[t].push_back({static_cast<uint32_t>(i),
                              {static_cast<uint16_t>(index), static_cast<int16_t>(dmg), static_cast<int16_t>(deg)}});
      }
    });
    p = saved;
  }

  // Gather by position.
  set.first.assign(n + 1, 0);
  for (const auto& list : found)
    for (const Found& f : list) ++set.first[f.position + 1];
  for (size_t i = 0; i < n; ++i) set.first[i + 1] += set.first[i];
  set.weights.resize(set.first[n]);
  std::vector<uint32_t> next(set.first.begin(), set.first.end() - 1);
  for (auto& list : found) {
    for (const Found& f : list) set.weights[next[f.position]++] = f.weight;
    std::vector<Found>().swap(list);
  }
  for (size_t i = 0; i < n; ++i) {
    double mg = base_mg[i], eg = base_eg[i];
    for (uint32_t w = set.first[i]; w < set.first[i + 1]; ++w) {
      const ParamWeight& pw = set.weights[w];
      mg -= static_cast<double>(pw.mg) / kNudge * params[pw.param].mg;
      eg -= static_cast<double>(pw.eg) / kNudge * params[pw.param].eg;
    }
    set.offset_mg[i] = static_cast<float>(mg);
    set.offset_eg[i] = static_cast<float>(eg);
  }
  return set;
}

ParamValues current_param_values() {
  ParamValues values;
  for (int i = 0; i < eval::param_count; ++i) {
    values.mg.push_back(params[i].mg);
    values.eg.push_back(params[i].eg);
  }
  return values;
}

void apply_param_values(const ParamValues& values) {
  for (int i = 0; i < eval::param_count; ++i)
    set_param(params[i], std::round(values.mg[i]), std::round(values.eg[i]));
}

float model_value(const TuningSet& set, size_t i, const ParamValues& values) {
  double mg = 0, eg = 0;
  for (uint32_t w = set.first[i]; w < set.first[i + 1]; ++w) {
    const ParamWeight& pw = set.weights[w];
    mg += pw.mg * static_cast<double>(values.mg[pw.param]);
    eg += pw.eg * static_cast<double>(values.eg[pw.param]);
  }
  // The weights were measured per kNudge; the offsets are already in centipawns.
  mg = set.offset_mg[i] + mg / kNudge;
  eg = set.offset_eg[i] + eg / kNudge;
  return static_cast<float>(set.scale[i] * (set.phase[i] * mg + (1.0 - set.phase[i]) * eg));
}

double model_loss(const TuningSet& set, const ParamValues& values, double k, size_t begin, size_t end, int threads) {
  std::vector<double> sums(std::max(1, threads), 0.0);
  in_parallel(end - begin, threads, [&](int t, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = begin + from; i < begin + to; ++i) {
      double error = sigmoid(k * model_value(set, i, values)) - set.target[i];
      sum += error * error;
    }
    sums[t] = sum;
  });
  double total = 0;
  for (double s : sums) total += s;
  return end > begin ? total / static_cast<double>(end - begin) : 0.0;
}

double fit_scale(const TuningSet& set, const ParamValues& values, size_t begin, size_t end, int threads) {
  double low = 0.0005, high = 0.05;
  const double golden = (std::sqrt(5.0) - 1) / 2;
  double a = high - golden * (high - low), b = low + golden * (high - low);
  double fa = model_loss(set, values, a, begin, end, threads), fb = model_loss(set, values, b, begin, end, threads);
  for (int step = 0; step < 40; ++step) {
    if (fa < fb) {
      high = b;
      b = a;
      fb = fa;
      a = high - golden * (high - low);
      fa = model_loss(set, values, a, begin, end, threads);
    } else {
      low = a;
      a = b;
      fa = fb;
      b = low + golden * (high - low);
      fb = model_loss(set, values, b, begin, end, threads);
    }
  }
  return (low + high) / 2;
}

ParamValues tune(const TuningSet& set, ParamValues values, double k, size_t train_end, const TuningOptions& options) {
  const int count = eval::param_count;
  const int threads = std::max(1, options.threads);
  std::vector<double> m(2 * count, 0.0), v(2 * count, 0.0);
  std::vector<std::vector<double>> gradients(threads, std::vector<double>(2 * count));
  const double beta1 = 0.9, beta2 = 0.999, epsilon = 1e-8;
  for (int epoch = 1; epoch <= options.epochs; ++epoch) {
    in_parallel(train_end, threads, [&](int t, size_t begin, size_t end) {
      std::vector<double>& g = gradients[t];
      std::fill(g.begin(), g.end(), 0.0);
      for (size_t i = begin; i < end; ++i) {
        const double p = sigmoid(k * model_value(set, i, values));
        // d(error^2)/d(value), then through the taper and the scale to each half.
        const double d = 2.0 * (p - set.target[i]) * p * (1.0 - p) * k * set.scale[i] / kNudge;
        const double d_mg = d * set.phase[i], d_eg = d * (1.0 - set.phase[i]);
        for (uint32_t w = set.first[i]; w < set.first[i + 1]; ++w) {
          const ParamWeight& pw = set.weights[w];
          g[2 * pw.param] += d_mg * pw.mg;
          g[2 * pw.param + 1] += d_eg * pw.eg;
        }
      }
    });
    const double correction1 = 1.0 - std::pow(beta1, epoch), correction2 = 1.0 - std::pow(beta2, epoch);
    for (int j = 0; j < 2 * count; ++j) {
      if (frozen(j / 2)) continue;
      double g = 0;
      for (const auto& part : gradients) g += part[j];
      g /= static_cast<double>(std::max<size_t>(train_end, 1));
      m[j] = beta1 * m[j] + (1 - beta1) * g;
      v[j] = beta2 * v[j] + (1 - beta2) * g * g;
      const double step = options.learning_rate * (m[j] / correction1) / (std::sqrt(v[j] / correction2) + epsilon);
      float& value = (j & 1) ? values.eg[j / 2] : values.mg[j / 2];
      value = static_cast<float>(std::clamp(value - step, -32000.0, 32000.0));
    }
  }
  return values;
}

std::string params_text(const ParamValues& values) {
  std::string text = "start\n";
  char number[32];
  for (int i = 0; i < eval::param_count;) {
    int j = i;
    while (j < eval::param_count && !std::strcmp(params[j].name, params[i].name) &&
           (std::strstr(params[i].name, "PST_") || !std::strcmp(params[i].name, "ttune") || j == i))
      ++j;
    text += params[i].name;
    for (int k = i; k < j; ++k) {
      std::snprintf(number, sizeof(number), ",%ld,%ld", std::lround(values.mg[k]), std::lround(values.eg[k]));
      text += number;
    }
    text += '\n';
    i = j;
  }
  return text;
}

int run_hce_tuning(const char* file, uint64_t max_positions) {
  std::vector<TrainingRecord> records;
  if (load_training_file(file, records) != 0) return 1;
  std::vector<position::Position> positions;
  std::vector<float> targets;
  for (const TrainingRecord& r : records) {
    if (positions.size() >= max_positions) break;
    position::Position pos{};
    float target;
    if (!decode_training_record(r, pos, target)) continue;
    positions.push_back(pos);
    targets.push_back(target);
  }
  std::vector<TrainingRecord>().swap(records);
  if (positions.size() < 100) {
    std::printf("too few usable positions in %s: %zu\n", file, positions.size());
    return 1;
  }
  const int threads = std::max<int>(1, base::settings.threads);
  auto start = std::chrono::steady_clock::now();
  TuningSet set = build_tuning_set(positions, targets, threads);
  std::vector<position::Position>().swap(positions);
  const size_t n = set.size(), train_end = n - n / 10;
  std::printf("%zu positions taken apart in %.1f s (%.1f weights each), %zu held out\n", n, seconds_since(start),
              static_cast<double>(set.weights.size()) / static_cast<double>(n), n - train_end);

  ParamValues values = current_param_values();
  const double k = fit_scale(set, values, 0, train_end, threads);
  const double before_train = model_loss(set, values, k, 0, train_end, threads);
  const double before_held = model_loss(set, values, k, train_end, n, threads);
  std::printf("k= %.6f  loss before: training %.6f, held out %.6f\n", k, before_train, before_held);

  TuningOptions options;
  options.threads = threads;
  // "-lr" is shared with the network trainer, whose default is 0.001: here a thousandth
  // of it is read as centipawns a step, so the default steps by 1.
  if (base::settings.learning_rate > 0) options.learning_rate = base::settings.learning_rate * 1000.0;
  start = std::chrono::steady_clock::now();
  values = tune(set, values, k, train_end, options);
  const double elapsed = seconds_since(start);
  const double after_train = model_loss(set, values, k, 0, train_end, threads);
  const double after_held = model_loss(set, values, k, train_end, n, threads);
  std::printf("%d passes in %.1f s (%.0f positions a second per pass)\n", options.epochs, elapsed,
              static_cast<double>(train_end) * options.epochs / std::max(elapsed, 1e-9));
  std::printf("loss after: training %.6f, held out %.6f\n", after_train, after_held);

  const std::string text = params_text(values);
  std::FILE* out = std::fopen("tuned_eval_params.txt", "w");
  if (!out || std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fclose(out) != 0) {
    std::printf("cannot write tuned_eval_params.txt\n");
    return 1;
  }
  std::printf("wrote tuned_eval_params.txt\n");
  return 0;
}

}  // namespace tools
