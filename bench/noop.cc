// The floor of the timings: a console program that does nothing, built by
// MinGW's GCC with its C runtime as the programs were before they had their
// own, so its run time is Wine's cost of starting and ending an ordinary
// MinGW program (the programs, loading no msvcrt, can come in under it).
int main() { return 0; }
