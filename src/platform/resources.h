// Access to the executable's resources and string-table texts.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

class Resource {
public:
    // A resource given by number and typed by a numeric type id.
    Resource(WORD id, WORD typeId, HMODULE module);
    // A resource given by number and typed by name ("ZOLT_INSTALLER").
    Resource(WORD id, const std::string& typeName, HMODULE module);
    virtual ~Resource();

    // A read-only pointer into the module's resource data and its size in bytes.
    const void* getPtr(size_t& size) const;

    const std::string& resourceName() const { return name; }

private:
    std::string name;
    WORD id;
    std::string type;
    WORD typeId;
    std::string typeName;
    HMODULE module;
};

class StringResource : public Resource {
public:
    StringResource(UINT id, HMODULE module);
    // The entry as ANSI text, or `defaultText` (and one ERROR record) when it cannot be read.
    std::string string(const std::string& defaultText = std::string()) const;
};
