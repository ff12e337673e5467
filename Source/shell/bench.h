// Two fixed measurements that use the search as a black box: the start-up calibration of
// the machine's node rate, and the benchmark over twenty positions.
#pragma once

namespace shell {

// Measures the node rate of a short fixed search; sets calibration_nps and max_elo.
void calibrate();

// Searches the benchmark positions and prints the report; threaded = 0 searches on the
// calling thread only.
void run_benchmark(int threaded);

}  // namespace shell
