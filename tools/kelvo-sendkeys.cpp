int main() { return 1; } // PLACEHOLDER
