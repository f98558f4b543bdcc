# method 1 benchmarks against the -lh5- peers
