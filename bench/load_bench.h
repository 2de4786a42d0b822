// Benchmarks where the data flows through our engine: scheme bodies in both modes and
// single hand-offs to the main thread.
#pragma once

namespace load_bench {

// Before the engine starts: declares the benchmark's scheme.
void BeforeEngineStart();
// After the engine started: registers the scheme handler factories.
void AfterEngineStart();
// After the last benchmark: closes the browser the loads used.
void Finish();

}  // namespace load_bench
