// The installed drivers and the choice of the one that is loaded, under the class and header
// names PortAudio's ASIO host API uses. The list is read from the registry when the object is
// built (HKLM\SOFTWARE\ASIO\<name>, value "CLSID", optional "Description" as the shown name);
// drivers on the exclusion list (../AsioExclusion.h) are left out, so they are never loaded.
// Written for this project; see ../README.md. Implemented by ../AsioLayer_win32.cpp.
#pragma once

class AsioDrivers {
public:
    AsioDrivers();
    ~AsioDrivers(); // unloads the current driver
    AsioDrivers(const AsioDrivers&) = delete;
    AsioDrivers& operator=(const AsioDrivers&) = delete;

    long asioGetNumDev();
    // Copies up to maxDrivers names into names[i], each buffer 32 bytes (a longer name is cut;
    // loadDriver accepts the cut name). Returns the number copied.
    long getDriverNames(char** names, long maxDrivers);
    // Unloads the current driver, then creates the named one; the ASIO* functions act on it.
    bool loadDriver(char* name);
    void removeCurrentDriver();
};

// The list PortAudio keeps while its ASIO host API is initialised.
extern AsioDrivers* asioDrivers;
