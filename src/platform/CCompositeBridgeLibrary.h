#pragma once
#include "IBridgeLibrary.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

// Several ways of reaching bridges seen as one: the raw HID bridges first,
// then the serial ports, say. Discovery lists what each library lists, in
// the order the libraries were added, so the first bridge of the first
// library still wins in the link. A path is opened by the library that
// listed it.
class CCompositeBridgeLibrary : public IBridgeLibrary {
public:
    void Add(std::unique_ptr<IBridgeLibrary> library);
    size_t Count() const { return m_Libraries.size(); }

    std::vector<HidInterfaceInfo> EnumerateHidInterfaces() override;

    // The library whose last discovery listed path opens it. A path no
    // discovery listed is offered to each library in turn; the first that
    // opens it wins, and when none does, the most telling refusal is
    // returned (a library that knew the path but could not open it says more
    // than the others' BRIDGE_DEVICE_NOT_FOUND).
    int OpenByDevicePath(const std::string& path,
                         std::unique_ptr<IBridgeDevice>* device) override;

private:
    std::vector<std::unique_ptr<IBridgeLibrary>> m_Libraries;
    std::map<std::string, size_t> m_ListedBy;   // path -> index of the first library listing it
};
