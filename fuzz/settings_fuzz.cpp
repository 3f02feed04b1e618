// A settings stream handed to ImportSettings by whoever holds the add-in's
// IDispatch: any length, any bytes, read through the real path.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "addin/native/connect_object.h"
#include "addin/trace.h"
#include "engine/settings_stream.h"
#include "host/fake/fake_world.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The record's own round trip: what unpacks, packs and unpacks the same.
    if (size >= qev::kSettingsStreamBytes) {
        const auto once = qev::UnpackSettings(std::span<const std::uint8_t, qev::kSettingsStreamBytes>(data, 48));
        const auto twice = qev::UnpackSettings(qev::PackSettings(once));
        const auto thrice = qev::UnpackSettings(qev::PackSettings(twice));
        for (int i = 0; i < 19; ++i)
            if (twice.f[i] != thrice.f[i]) std::abort();
    }

    static host::fake::FakeWorld world;
    static qev::ConnectObject* addin = [] {
        auto* object = new qev::ConnectObject(world.Services());
        object->Connect().OnConnection(&world.Application(), 1, &world.AddInInstance());
        return object;
    }();
    const std::vector<std::uint8_t> bytes(data, data + size);
    const auto variant = host::Variant::OfUnknown(world.Services().apartment.MemoryStream(bytes));
    if (addin->Connect().ImportSettings(variant) != S_OK) std::abort();
    world.ForgetHistory();
    return 0;
}
