// Talvor2: orientation finder (entry point).
int main() { return 0; }
