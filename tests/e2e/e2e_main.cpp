// Entry point: the programs are linked for wide-character entry points, so the
// test runner starts from wmain and hands gtest its arguments as UTF-8.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> storage;
    for (int i = 0; i < argc; ++i) {
        const int size = ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(size > 0 ? size - 1 : 0, '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, arg.data(), size, nullptr, nullptr);
        storage.push_back(std::move(arg));
    }
    std::vector<char*> args;
    for (std::string& arg : storage) args.push_back(arg.data());
    args.push_back(nullptr);
    int count = argc;
    ::testing::InitGoogleTest(&count, args.data());
    return RUN_ALL_TESTS();
}
