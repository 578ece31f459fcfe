// The floor of the timings: a console program that does nothing, compiled and
// linked like the shipped programs, so its run time is Wine's own cost of
// starting and ending a process.
int main() { return 0; }
