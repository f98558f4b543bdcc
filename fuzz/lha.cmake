# fuzz target of the method 1 decoder
