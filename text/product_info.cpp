#include "text/product_info.h"

#include <mutex>

#include "addin/module_folder.h"

namespace qev {

CProductInfo g_productInfo;

namespace {

std::mutex g_productInfoLock;

bool IsAbsolute(std::u16string_view path)
{
    const bool drive = path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/');
    const bool unc = path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\';
    return drive || unc;
}

void Unload(host::Libraries& libraries, CProductInfo& holder)
{
    if (holder.info) {
        holder.info->Stop();
        holder.info->ReleaseInterface();
    }
    if (holder.object && holder.destroyObject) holder.destroyObject(kProductInfoObject, holder.object);
    holder.info = nullptr;
    holder.object = nullptr;
    if (holder.module) libraries.Free(holder.module);
    holder = CProductInfo{};
}

void Load(host::Libraries& libraries, CProductInfo& holder)
{
    // Beside the add-in's own module, whatever its file is called; without
    // its folder nothing (a bare name is searched for beside the host program).
    const std::u16string folder = ParentFolder(AddinModulePath(libraries));
    if (folder.empty()) return;
    const std::u16string path = JoinPath(folder, kProductInfoLibrary);
    holder.module = libraries.Load(path, false, nullptr);
    if (!holder.module && IsAbsolute(path)) holder.module = libraries.Load(path, true, nullptr);
    if (holder.module) {
        holder.createObject =
            reinterpret_cast<ZkCreateObjectFn>(libraries.Symbol(holder.module, "ZkCreateObject", nullptr));
        holder.destroyObject =
            reinterpret_cast<ZkDestroyObjectFn>(libraries.Symbol(holder.module, "ZkDestroyObject", nullptr));
    }
    const bool loaded = holder.module && holder.createObject && holder.destroyObject &&
                        holder.createObject(kProductInfoObject, &kIidZkObject, &holder.object) == 0 &&
                        holder.object && (holder.info = holder.object->GetInterface(&kIidProductInfo)) != nullptr &&
                        holder.info->Initialize(0) == 0 && holder.info->Start() == 0;
    if (!loaded) Unload(libraries, holder);
}

}  // namespace

CProductInfo& GetProductInfo_(host::Libraries& libraries)
{
    const std::lock_guard lock(g_productInfoLock);
    if (!g_productInfo.info) Load(libraries, g_productInfo);
    return g_productInfo;
}

std::u16string ProductString(host::Libraries& libraries, std::uint32_t number)
{
    const CProductInfo& holder = GetProductInfo_(libraries);
    if (!holder.info) return kNotInited;
    const char16_t* text = holder.info->GetString(number, kProductComponent);
    return text ? std::u16string(text) : std::u16string();
}

}  // namespace qev
