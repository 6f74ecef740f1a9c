// The host's waves: numeric waves of Igor's number types (complex excepted) and text waves, in one
// data folder, found by name without regard to case. A wave is an Igor handle from the process's
// handle heap; a numeric wave's points sit in its block behind a header of zeros (so it never
// looks like an Igor 3-6 wave block to a module that peeks), in the wave's own number type.
// Thread-safe: Igor's preemptive threads use waves too.
#ifndef XOPHOST_WAVE_STORE_H
#define XOPHOST_WAVE_STORE_H

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "host/igor_xop.h"

class WaveStore {
public:
    // Bytes before the first point in a numeric wave's block.
    static constexpr BCInt kHeaderSize = 64;

    WaveStore() = default;
    ~WaveStore();
    WaveStore(const WaveStore &) = delete;
    WaveStore &operator=(const WaveStore &) = delete;

    // A valid object name: a letter, then letters, digits or '_', at most 31 bytes.
    static bool validName(const std::string &name);

    // The wave of that name, or null.
    waveHndl find(const std::string &name) const;
    // Makes a numeric wave (type: an NT_ combination) of the given points in one dimension, or a
    // text wave (type 0), or overwrites the existing one in place; 0 or Igor's error code.
    int make(const std::string &name, int type, const std::vector<CountInt> &dimensions,
             waveHndl *wave);
    // The destination callback's rules (options kOpDestWave...) on top of make.
    int destination(const std::string &name, int options, int type,
                    const std::vector<CountInt> &dimensions, waveHndl *wave, int *created);

    // 0, or NOWAV for a handle that is no wave here.
    int dimensions(waveHndl wave, int &count, CountInt sizes[MAX_DIMENSIONS + 1]) const;
    // Every point of a numeric wave as a double; NO_TEXTNUMERIC_WAVE_OVERWRITE for a text wave.
    int getDoubles(waveHndl wave, double *data) const;
    // Stores every point, converted as Igor converts: integers truncated toward zero, NaN to 0,
    // clipped to the type's range.
    int storeDoubles(waveHndl wave, const double *data);
    void setTexts(waveHndl wave, const std::vector<std::string> &texts);
    bool isWave(waveHndl wave) const;

    // Igor's print of a wave: "  name[0]= {1,2,3}"; false for an unknown name.
    bool print(const std::string &name, std::string &text) const;

private:
    struct Wave {
        std::string name;
        int type = 0;
        std::vector<CountInt> dimensions;
        std::vector<std::string> texts;
        CountInt points() const;
    };
    const Wave *waveOf(waveHndl wave) const;
    double pointValue(const Wave &wave, waveHndl h, CountInt index) const;

    mutable std::mutex mutex_;
    std::map<std::string, waveHndl> byName_; // lower-case name
    std::map<waveHndl, Wave> waves_;
};

// The size of one point of a numeric type; 0 for text or an unknown type.
int pointSize(int type);

#endif
