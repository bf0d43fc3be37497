// The baseline of bench_startup on Windows: a program that only starts and ends, built
// with the same compiler, runtime and static linking as the host.
int main() { return 0; }
