// Two small libraries for the loader tests, built from this file: the "dep"
// library exports SearchPathBase; the "user" library imports it, so it loads
// only where its dependency is found.
#ifdef QEV_SEARCH_PATH_DEP
extern "C" __declspec(dllexport) int SearchPathBase()
{
    return 41;
}
#else
extern "C" __declspec(dllimport) int SearchPathBase();
extern "C" __declspec(dllexport) int SearchPathAnswer()
{
    return SearchPathBase() + 1;
}
#endif
