# MD5 benchmarks
