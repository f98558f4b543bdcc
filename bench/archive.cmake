# pack reader and rebuild benchmarks
