#include "addin/module_folder.h"

namespace qev {

std::u16string AddinModulePath(host::Libraries& libraries)
{
    const host::LibraryHandle self = libraries.Self();
    if (!self) return {};  // FileName(null) would name the host program
    return libraries.FileName(self);
}

std::u16string EngineHomeModulePath(host::Libraries& libraries)
{
    return libraries.FileName(libraries.Loaded(kAddinModuleName));  // a null module names the host program
}

std::u16string ParentFolder(std::u16string_view path)
{
    const std::size_t slash = path.find_last_of(u"\\/");
    if (slash == std::u16string_view::npos) return {};
    return std::u16string(path.substr(0, slash));
}

std::u16string JoinPath(std::u16string_view folder, std::u16string_view name)
{
    std::u16string joined(folder);
    if (!joined.empty() && joined.back() != u'\\' && joined.back() != u'/') joined.push_back(u'\\');
    joined.append(name);
    return joined;
}

}  // namespace qev
