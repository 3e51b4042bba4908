// Velmorant: bright-field convergent-beam pattern simulator (entry point).
int main() { return 0; }
