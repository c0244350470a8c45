// The MIDI port table: every multimedia MIDI port of the machine (outputs and inputs) under a
// host-wide port id that is never used twice in the life of the process.
//
// Built lazily from the MIDI back end (midi/MidiApi.h) on first use: outputs get ids 0..nOut-1,
// inputs nOut..nOut+nIn-1. A port whose capabilities query fails is kept under the name
// "Non working" with working = false. clearMIDIPorts empties the table (engine shutdown) and the
// next use enumerates afresh, with ids starting at 0 again, while the next-id counter keeps
// counting, so ports added later by a rescan never reuse an id of this process.
//
// Users: device enumeration and the factories (opcode thread, or an engine's own thread), hot-plug
// (window thread), engine shutdown. One process-wide lock, midiPortsLock(), guards this table and
// the device manager's MIDI lists together, so a reader that holds it sees both agree; every
// function here takes it, and lookups return copies. It is held only for short bookkeeping, never
// on the audio thread, and never across an engine opcode. A change of the graph's MIDI devices
// (enable, disable, a hot-plug pass) holds the device manager's midiDevicesLock() around it.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vantor {

struct MIDIPortInfo {
    std::string api = "Windows"; // the host interface; always "Windows"
    std::string name;            // product name, or "Non working"
    int32_t ins = 0;             // 1 for an input port
    int32_t outs = 0;            // 1 for an output port
    int32_t id = -1;             // the port id
    uint32_t deviceIndex = 0;    // the back end's current device index of the port
    bool working = false;        // the capabilities query succeeded
};

// Ids of every port in ascending order (appended to ids after clearing it). Enumerates first if
// needed.
void listMIDIPorts(std::vector<int32_t>& ids);
// The port's record, or none. Enumerates first if needed.
std::optional<MIDIPortInfo> findMIDIPort(int32_t portId);
// The same without ever enumerating (what a driver uses when it opens a port).
std::optional<MIDIPortInfo> peekMIDIPort(int32_t portId);
// Deletes every record and asks for a fresh enumeration on the next use. The next-id counter
// stays.
void clearMIDIPorts();

// The lock of the MIDI port lists (recursive: the functions here take it again).
std::recursive_mutex& midiPortsLock();

// Hot-plug edits (hold midiPortsLock() across a group of them that must look atomic).
// Every record, in ascending id order (copies). Enumerates first if needed.
std::vector<MIDIPortInfo> snapshotMIDIPorts();
// Points an entry at a new device index; false when the id is unknown.
bool setMIDIPortDeviceIndex(int32_t portId, uint32_t deviceIndex);
// Deletes one record; false when the id is unknown.
bool eraseMIDIPort(int32_t portId);
// Enters a new port under the next id (info.id is ignored) and returns that id.
int32_t insertMIDIPort(MIDIPortInfo info);
void setMIDIPortCounts(uint32_t inputs, uint32_t outputs);

// Bookkeeping, for hot-plug and diagnostics.
int32_t midiPortNextId();           // ids handed out so far in this process
uint32_t midiPortLastInputCount();  // inputs seen at the last enumeration
uint32_t midiPortLastOutputCount(); // outputs seen at the last enumeration
bool midiPortsNeedEnumeration();

} // namespace vantor
