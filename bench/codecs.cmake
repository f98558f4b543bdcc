# codec and MD5 benchmarks
