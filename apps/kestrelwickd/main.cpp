// kestrelwickd: the proxy engine without windows.
int main() { return 0; }
