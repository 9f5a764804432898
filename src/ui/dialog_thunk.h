// One dialog procedure for every dialog of the program: the caller's record
// (the creation parameter) is kept in DWLP_USER from WM_INITDIALOG on and
// handed to the dialog's own functions with every later message.
#pragma once

#include <windows.h>

#include <exception>

#include "payload/temp_folder.h"

namespace zel {

// Record is the creation parameter, lent by the caller. OnInit answers
// WM_INITDIALOG once the record is stored; OnMessage every later message but
// WM_ENDSESSION, which is answered here. Admit, when given, is asked first:
// false leaves the record unstored and so the dialog handles no message at all.
// A null record, or a message before WM_INITDIALOG, is left unhandled.
template <class Record, BOOL (*OnInit)(HWND, Record&), INT_PTR (*OnMessage)(HWND, Record&, UINT, WPARAM, LPARAM),
          bool (*Admit)(HWND, Record&) = nullptr>
INT_PTR CALLBACK DialogProcOf(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    try {
        if (message == WM_INITDIALOG) {
            auto* record = reinterpret_cast<Record*>(lParam);
            if (!record) return FALSE;
            if constexpr (Admit != nullptr) {
                if (!Admit(dialog, *record)) return FALSE;
            }
            ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            return OnInit(dialog, *record);
        }
        auto* record = reinterpret_cast<Record*>(::GetWindowLongPtrW(dialog, DWLP_USER));
        if (!record) return FALSE;
        if (message == WM_ENDSESSION) {
            // The session ends and ends the process without returning to the run
            // driver: the extraction folder is removed here, and only then.
            if (wParam) PrivateTempFolder::RemoveLiveFolder();
            return FALSE;
        }
        return OnMessage(dialog, *record, message, wParam, lParam);
    } catch (const std::exception&) {
        // Unwinding through the system's dialog code is not allowed; the message stays unhandled.
        return FALSE;
    }
}

}  // namespace zel
