#pragma once

#include <functional>

// The plug-in's process-wide objects (each a ProcessWide<T>) register how to destroy
// themselves here, so that the plug-in's shutdown deletes them all, in registration order.
class TASharedObjects
{
public:
    static void add(const char *name, std::function<void()> destroy);
    static void destroyAll();
    static int count();
};
