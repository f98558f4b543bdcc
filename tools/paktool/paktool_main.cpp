#include <cstdio>

int main() {
    std::puts("paktool");
    return 0;
}
