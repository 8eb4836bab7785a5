namespace mervik::driver { int run(int, char**) { return 0; } }  // stub: to be replaced
