// Baseline for the reader benchmark: reads a file start to end in 64 KiB pieces and nothing else.
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    std::FILE* f = std::fopen(argv[1], "rb");
    if (!f)
        return 1;
    std::setvbuf(f, nullptr, _IONBF, 0);
    std::vector<unsigned char> buffer(64 * 1024);
    unsigned long long total = 0;
    unsigned char sum = 0;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0) {
        total += n;
        sum = static_cast<unsigned char>(sum + buffer[n - 1]);
    }
    std::fclose(f);
    std::printf("%llu %u\n", total, sum);
    return 0;
}
