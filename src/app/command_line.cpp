#include "app/command_line.h"

#include "util/ascii.h"

namespace zel {
namespace {

// "/name" or "-name", ASCII case folded.
bool IsSwitch(std::wstring_view argument, std::wstring_view name) {
    return argument.size() == name.size() + 1 && (argument[0] == L'/' || argument[0] == L'-') &&
           EqualsIgnoreAsciiCase(argument.substr(1), name);
}

bool IsHelpSwitch(std::wstring_view argument) { return IsSwitch(argument, L"?") || IsSwitch(argument, L"help"); }

bool IsKnownSwitch(std::wstring_view argument) {
    return IsSwitch(argument, L"uninstall") || IsSwitch(argument, L"quiet") || IsSwitch(argument, L"dir") ||
           IsSwitch(argument, L"log") || IsHelpSwitch(argument);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

}  // namespace

std::wstring UninstallKeyFromArguments(const std::vector<std::wstring>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (EqualsIgnoreAsciiCase(arguments[i], L"/uninstall") || EqualsIgnoreAsciiCase(arguments[i], L"-uninstall")) {
            return i + 1 < arguments.size() ? arguments[i + 1] : std::wstring();
        }
    }
    return {};
}

CommandLine ParseCommandLine(const std::vector<std::wstring>& arguments) {
    CommandLine result;
    result.productKey = UninstallKeyFromArguments(arguments);
    const auto note = [&result](const std::wstring& error) {
        if (result.error.empty()) result.error = error;
    };
    bool uninstallSeen = false;
    std::wstring helpSwitch;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (!uninstallSeen && IsSwitch(argument, L"uninstall")) {
            // The key (even an empty one) belongs to the first /uninstall, verbatim.
            uninstallSeen = true;
            if (i + 1 < arguments.size()) ++i;
        } else if (IsSwitch(argument, L"quiet")) {
            result.quiet = true;
        } else if (IsSwitch(argument, L"dir") || IsSwitch(argument, L"log")) {
            std::wstring& value = IsSwitch(argument, L"dir") ? result.installDir : result.logFile;
            const bool hasValue =
                i + 1 < arguments.size() && !arguments[i + 1].empty() && !IsKnownSwitch(arguments[i + 1]);
            if (hasValue) {
                value = arguments[++i];
            } else {
                value.clear();
                note(argument + L" の値がありません。");
            }
        } else if (IsHelpSwitch(argument)) {
            result.help = true;
            if (helpSwitch.empty()) helpSwitch = argument;
        } else {
            note(L"不明な引数です: " + argument);
        }
    }
    if (result.help && result.quiet) note(helpSwitch + L" は /quiet と一緒には使えません。");
    return result;
}

std::wstring CommandLineHelpText() {
    return L"setup.exe [/quiet] [/dir <フォルダ>] [/log <ファイル>]\n"
           L"Uninstall.exe /uninstall <キー> [/quiet] [/log <ファイル>]\n"
           L"\n"
           L"/quiet\tウィンドウもメッセージも表示せずに実行します。使用許諾に同意したものとみなします。\n"
           L"/dir <フォルダ>\t新しくインストールするフォルダ (絶対パス)。インストール済みのときは無視します。\n"
           L"/log <ファイル>\tログをファイルに追記します。フォルダは作成しません。\n"
           L"/uninstall <キー>\tレジストリのキーで登録された製品をアンインストールします。\n"
           L"/?, /help\tこの説明を表示します。\n"
           L"\n"
           L"/quiet のときの終了コード:\n"
           L"0\t完了\n"
           L"87\tコマンドラインの誤り\n"
           L"1603\t失敗\n"
           L"1605\t製品が登録されていません\n"
           L"1618\t同じ製品のセットアップまたはアンインストールが実行中\n"
           L"1622\tログファイルを開けません\n"
           L"1638\tより新しいバージョンがインストールされています\n"
           L"3010\t完了 (使用中のファイルは再起動時に削除)\n"
           L"\n"
           L"/quiet なしのときの終了コード: 0 完了またはキャンセル、1 失敗";
}

bool IsAbsoluteWindowsPath(std::wstring_view path) {
    if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) return true;
    // UNC and device paths: two separators, then a server (or "?" / ".") name.
    return path.size() >= 3 && IsSeparator(path[0]) && IsSeparator(path[1]) && !IsSeparator(path[2]);
}

}  // namespace zel
