// The engine client stand-in (zkascl.dll): its control surface for test hosts.
//
// Besides its one product export, asCreateInstance, the library exports these
// functions so that a simulated Outlook or a test can set the engine up
// before the add-in loads it, watch every call the add-in makes, and make the
// engine call its observers from a thread of its own. A host loads the
// library by the same full path that the add-in will use and keeps its own
// reference, so that the engine's state outlives the add-in's FreeLibrary.
//
// What the engine keeps:
// - configuration, in memory, reset when the library is loaded or by
//   zkSimReset: the server status (default up), the fields of the first
//   settings record that GetSettings writes and of the options record that
//   GetOptions writes (none by default: every other field keeps what the
//   caller prefilled), and whether the factory returns null;
// - the value store, the spammer and friend lists and the count of messages
//   it was taught as spam and as not spam, in the text file "zkascl.dat"
//   beside the library. It is read on first use after the library is loaded
//   and rewritten whole after every change.
//
// The file is UTF-8, one entry a line, fields separated by a tab; in text
// fields a backslash, tab, CR and LF are written \\, \t, \r and \n:
//     value   NAME    DECIMAL
//     spammer ADDRESS
//     friend  ADDRESS
//     learned spam|ham DECIMAL
// Lines it does not understand (a '#' line, say) are skipped.
//
// The engine's operations:
// - GetValue leaves the caller's value untouched when the name (compared
//   exactly) has none; SetValue stores it.
// - AddSpammer / AddFriend put the sender of the message text (the address of
//   its From header, lower case) on that list and take it off the other.
// - IsSpam / NotSpam count the message as taught spam / not spam.
// - Show* record the call; there is no window.
//
// Also built without asCreateInstance as zkascl_nofactory.dll (a library the
// add-in must refuse); the control surface is the same.
#pragma once

#include <cstdint>

#include "engine/as_client.h"

extern "C" {

// Receives one line per call the add-in makes on any client, on the calling
// thread, before the call takes effect: "OP ARGS" in UTF-8, OP the slot
// table's name (Release, Init, GetSettings, ..., Reserved13 for slots the
// add-in is not meant to call), ARGS separated by blanks: texts in double
// quotes with a backslash as \\, CR as \r, LF as \n and other characters
// below 0x20 as \xHH; numbers in decimal; booleans true / false; records and
// pointers *. This is the text of a transcript's "< engine OP ARGS" line
// after "< engine ".
using ZkSimCallListener = void (*)(void* context, const char* line);

// Puts the configuration back to its defaults and removes the listener;
// with clearStore non-zero the value store and the lists are emptied and the
// store file deleted. Forgets the call counts.
using ZkSimResetFn = void (*)(int clearStore);
// The server status GetServerStatus reports (non-zero: up).
using ZkSimSetServerStatusFn = void (*)(int up);
// A field (0..18) of the first settings record that GetSettings writes;
// 0, or -1 for a field out of range.
using ZkSimSetSettingFn = int (*)(int field, std::uint32_t value);
// A field (0..9) of the options record that GetOptions writes; 0, or -1.
using ZkSimSetOptionFn = int (*)(int field, std::uint32_t value);
// Stores a named value (written to the store file); 0, or -1 for a null name
// or a store file that cannot be written.
using ZkSimSetValueFn = int (*)(const char16_t* name, std::uint32_t value);
// Non-zero: asCreateInstance returns null from now on.
using ZkSimSetFactoryNullFn = void (*)(int on);
// Sets (or, with null, removes) the call listener.
using ZkSimSetCallListenerFn = void (*)(ZkSimCallListener listener, void* context);
// Makes the server status up (non-zero) or down, then calls SetServerStatus
// of every observer advised on a live client, from a new thread of the
// engine's, and returns when all calls have returned: the number of observers
// called (one unadvised meanwhile is skipped), or -1 when the thread could not
// be started. While it waits, the calling thread dispatches its window
// messages, so that a call that COM carries into the caller's own apartment
// gets through.
using ZkSimNotifyStatusFn = int (*)(int up);
// Calls OnImportSettings(copy of *settings) the same way; null is passed on
// as null.
using ZkSimNotifySettingsFn = int (*)(const qev::AsSettings* settings);
// The same two on the calling thread, which stands for one of the engine's
// own (a host may run several at once): the observers called. Nothing is
// dispatched meanwhile. An Unadvise waits for the calls already made to the
// observer to return, dispatching its own thread's messages meanwhile.
using ZkSimNotifyStatusHereFn = int (*)(int up);
using ZkSimNotifySettingsHereFn = int (*)(const qev::AsSettings* settings);
// How many times the add-in called operation op ("Init", "SetValue", ...)
// since the library was loaded or reset.
using ZkSimCallCountFn = std::uint32_t (*)(const char* op);
// Clients made and not released; observers advised on them and not unadvised.
using ZkSimLiveClientsFn = int (*)();
using ZkSimObserversFn = int (*)();
// The store file's full path into buffer (units includes the terminating
// zero); returns its length, or the units needed when buffer is too small.
using ZkSimStoreFileFn = std::uint32_t (*)(char16_t* buffer, std::uint32_t units);

}  // extern "C"

namespace zksim {

inline constexpr char kReset[] = "zkSimReset";
inline constexpr char kSetServerStatus[] = "zkSimSetServerStatus";
inline constexpr char kSetSetting[] = "zkSimSetSetting";
inline constexpr char kSetOption[] = "zkSimSetOption";
inline constexpr char kSetValue[] = "zkSimSetValue";
inline constexpr char kSetFactoryNull[] = "zkSimSetFactoryNull";
inline constexpr char kSetCallListener[] = "zkSimSetCallListener";
inline constexpr char kNotifyStatus[] = "zkSimNotifyStatus";
inline constexpr char kNotifySettings[] = "zkSimNotifySettings";
inline constexpr char kNotifyStatusHere[] = "zkSimNotifyStatusHere";
inline constexpr char kNotifySettingsHere[] = "zkSimNotifySettingsHere";
inline constexpr char kCallCount[] = "zkSimCallCount";
inline constexpr char kLiveClients[] = "zkSimLiveClients";
inline constexpr char kObservers[] = "zkSimObservers";
inline constexpr char kStoreFile[] = "zkSimStoreFile";

inline constexpr char16_t kStoreFileName[] = u"zkascl.dat";
inline constexpr char16_t kNoFactoryLibrary[] = u"zkascl_nofactory.dll";

}  // namespace zksim
