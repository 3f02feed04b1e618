// HRESULT and the result codes the add-in names, the same on both builds.
#pragma once

#ifdef _WIN32
// The system's names, without <windef.h> and what it drags in (min/max
// macros among them): portable code includes this header on both builds.
#include <cstdint>  // the C runtime's base definitions, which <winerror.h> uses

#ifndef _HRESULT_DEFINED
#define _HRESULT_DEFINED
typedef long HRESULT;  // NOLINT(modernize-use-using): the system headers' own spelling
#endif
#include <winerror.h>
#else
#include <cstdint>

using HRESULT = std::int32_t;

#define QEV_HR(x) static_cast<HRESULT>(static_cast<std::uint32_t>(x))
#define S_OK QEV_HR(0x00000000)
#define S_FALSE QEV_HR(0x00000001)
#define E_NOTIMPL QEV_HR(0x80004001)
#define E_NOINTERFACE QEV_HR(0x80004002)
#define E_POINTER QEV_HR(0x80004003)
#define E_ABORT QEV_HR(0x80004004)
#define E_FAIL QEV_HR(0x80004005)
#define E_UNEXPECTED QEV_HR(0x8000FFFF)
#define E_ACCESSDENIED QEV_HR(0x80070005)
#define E_HANDLE QEV_HR(0x80070006)
#define E_OUTOFMEMORY QEV_HR(0x8007000E)
#define E_INVALIDARG QEV_HR(0x80070057)
#define DISP_E_UNKNOWNNAME QEV_HR(0x80020006)
#define DISP_E_MEMBERNOTFOUND QEV_HR(0x80020003)
#define DISP_E_EXCEPTION QEV_HR(0x80020009)
#define DISP_E_BADINDEX QEV_HR(0x8002000B)
#define CLASS_E_CLASSNOTAVAILABLE QEV_HR(0x80040111)
#define CLASS_E_NOAGGREGATION QEV_HR(0x80040110)
#define CONNECT_E_NOCONNECTION QEV_HR(0x80040200)
#define CONNECT_E_ADVISELIMIT QEV_HR(0x80040201)
#define SELFREG_E_CLASS QEV_HR(0x80040201)
#define RPC_E_WRONG_THREAD QEV_HR(0x8001010E)
#define REGDB_E_CLASSNOTREG QEV_HR(0x80040154)
#define MAPI_E_NOT_FOUND QEV_HR(0x8004010F)
#define MAPI_E_UNKNOWN_FLAGS QEV_HR(0x80040106)
#define MAPI_E_NO_SUPPORT QEV_HR(0x80040102)

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)
#endif

#ifndef MAPI_E_NOT_FOUND
#define MAPI_E_NOT_FOUND static_cast<HRESULT>(0x8004010FL)
#endif
#ifndef MAPI_E_UNKNOWN_FLAGS
#define MAPI_E_UNKNOWN_FLAGS static_cast<HRESULT>(0x80040106L)
#endif
#ifndef MAPI_E_NO_SUPPORT
#define MAPI_E_NO_SUPPORT static_cast<HRESULT>(0x80040102L)
#endif
