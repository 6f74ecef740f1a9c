#include "xophost/wave_store.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>

#include "xophost/handle_heap.h"
#include "xophost/value_format.h"

namespace {

// Igor keeps at most four dimensions; the host limits a wave to 2^31 bytes of points.
constexpr std::size_t kMaxUsedDimensions = 4;
constexpr CountInt kMaxDataBytes = CountInt(1) << 31;

std::string lowerCase(const std::string &text)
{
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

bool knownType(int type)
{
    return type == TEXT_WAVE_TYPE || pointSize(type) != 0;
}

// NaN to 0, clipped to [low, high], truncated toward zero: defined for every double.
template <typename T> T toInteger(double value)
{
    if (std::isnan(value))
        return 0;
    const double low = static_cast<double>(std::numeric_limits<T>::min());
    const double high = static_cast<double>(std::numeric_limits<T>::max());
    if (value <= low)
        return std::numeric_limits<T>::min();
    if (value >= high)
        return std::numeric_limits<T>::max();
    return static_cast<T>(value);
}

float toFloat(double value)
{
    const double limit = static_cast<double>(std::numeric_limits<float>::max());
    if (value > limit)
        return std::numeric_limits<float>::infinity();
    if (value < -limit)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

template <typename T> void put(char *at, T value)
{
    std::memcpy(at, &value, sizeof value);
}

template <typename T> double get(const char *at)
{
    T value;
    std::memcpy(&value, at, sizeof value);
    return static_cast<double>(value);
}

} // namespace

int pointSize(int type)
{
    switch (type) {
    case NT_FP32:
        return 4;
    case NT_FP64:
        return 8;
    case NT_I8:
    case NT_I8 | NT_UNSIGNED:
        return 1;
    case NT_I16:
    case NT_I16 | NT_UNSIGNED:
        return 2;
    case NT_I32:
    case NT_I32 | NT_UNSIGNED:
        return 4;
    case NT_I64:
    case NT_I64 | NT_UNSIGNED:
        return 8;
    default:
        return 0;
    }
}

WaveStore::~WaveStore()
{
    for (auto &entry : waves_)
        HandleHeap::process().dispose(entry.first);
}

CountInt WaveStore::Wave::points() const
{
    CountInt n = dimensions.empty() ? 0 : 1;
    for (CountInt size : dimensions)
        n *= size;
    return n;
}

bool WaveStore::validName(const std::string &name)
{
    if (name.empty() || name.size() > MAX_OBJ_NAME || std::isalpha(static_cast<unsigned char>(name[0])) == 0)
        return false;
    return std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) != 0 || c == '_'; });
}

waveHndl WaveStore::find(const std::string &name) const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = byName_.find(lowerCase(name));
    return found != byName_.end() ? found->second : nullptr;
}

const WaveStore::Wave *WaveStore::waveOf(waveHndl wave) const
{
    const auto found = waves_.find(wave);
    return found != waves_.end() ? &found->second : nullptr;
}

bool WaveStore::isWave(waveHndl wave) const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    return waveOf(wave) != nullptr;
}

int WaveStore::make(const std::string &name, int type, const std::vector<CountInt> &dimensions,
                    waveHndl *wave)
{
    if (!validName(name) || !knownType(type) || dimensions.empty() || dimensions.size() > kMaxUsedDimensions)
        return GENERAL_BAD_VIBS;
    CountInt points = 1;
    for (CountInt size : dimensions) {
        if (size < 0 || (size > 0 && points > kMaxDataBytes / size))
            return NOMEM;
        points *= size;
    }
    const BCInt dataBytes = type == TEXT_WAVE_TYPE ? 0 : points * pointSize(type);
    if (dataBytes > kMaxDataBytes)
        return NOMEM;
    HandleHeap &heap = HandleHeap::process();
    const std::lock_guard<std::mutex> lock(mutex_);
    const std::string key = lowerCase(name);
    const auto existing = byName_.find(key);
    waveHndl h = existing != byName_.end() ? existing->second : heap.newHandle(0);
    if (h == nullptr || heap.setSize(h, kHeaderSize + dataBytes) != 0)
        return NOMEM;
    std::memset(*h, 0, static_cast<std::size_t>(kHeaderSize + dataBytes));
    Wave &w = waves_[h];
    w.name = existing != byName_.end() ? w.name : name;
    w.type = type;
    w.dimensions = dimensions;
    w.texts.assign(type == TEXT_WAVE_TYPE ? static_cast<std::size_t>(points) : 0, std::string());
    byName_[key] = h;
    *wave = h;
    return 0;
}

int WaveStore::destination(const std::string &name, int options, int type,
                           const std::vector<CountInt> &dimensions, waveHndl *wave, int *created)
{
    const int change = kOpDestWaveChangeExistingWave | kOpDestWaveOverwriteExistingWave;
    if ((options & change) == change || (options & kOpDestWaveMakeFreeWave) != 0)
        return GENERAL_BAD_VIBS;
    const waveHndl existing = find(name);
    if (existing == nullptr && (options & kOpDestWaveMustAlreadyExist) != 0)
        return NOWAV;
    if (existing != nullptr) {
        if ((options & kOpDestWaveOverwriteOK) == 0)
            return NAME_WAV_CONFLICT;
        int existingType = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            existingType = waveOf(existing)->type;
        }
        if ((existingType == TEXT_WAVE_TYPE) != (type == TEXT_WAVE_TYPE))
            return NO_TEXTNUMERIC_WAVE_OVERWRITE;
    }
    const int result = make(name, type, dimensions, wave);
    if (result == 0 && created != nullptr)
        *created = existing == nullptr ? 1 : 0;
    return result;
}

int WaveStore::dimensions(waveHndl wave, int &count, CountInt sizes[MAX_DIMENSIONS + 1]) const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const Wave *w = waveOf(wave);
    if (w == nullptr)
        return NOWAV;
    count = static_cast<int>(w->dimensions.size());
    for (int i = 0; i <= MAX_DIMENSIONS; ++i)
        sizes[i] = i < count ? w->dimensions[static_cast<std::size_t>(i)] : 0;
    return 0;
}

double WaveStore::pointValue(const Wave &wave, waveHndl h, CountInt index) const
{
    const char *at = *h + kHeaderSize + index * pointSize(wave.type);
    switch (wave.type) {
    case NT_FP32:
        return get<float>(at);
    case NT_FP64:
        return get<double>(at);
    case NT_I8:
        return get<int8_t>(at);
    case NT_I8 | NT_UNSIGNED:
        return get<uint8_t>(at);
    case NT_I16:
        return get<int16_t>(at);
    case NT_I16 | NT_UNSIGNED:
        return get<uint16_t>(at);
    case NT_I32:
        return get<int32_t>(at);
    case NT_I32 | NT_UNSIGNED:
        return get<uint32_t>(at);
    case NT_I64:
        return get<int64_t>(at);
    default:
        return get<uint64_t>(at);
    }
}

int WaveStore::getDoubles(waveHndl wave, double *data) const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const Wave *w = waveOf(wave);
    if (w == nullptr)
        return NOWAV;
    if (w->type == TEXT_WAVE_TYPE)
        return NO_TEXTNUMERIC_WAVE_OVERWRITE;
    for (CountInt i = 0; i < w->points(); ++i)
        data[i] = pointValue(*w, wave, i);
    return 0;
}

int WaveStore::storeDoubles(waveHndl wave, const double *data)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const Wave *w = waveOf(wave);
    if (w == nullptr)
        return NOWAV;
    if (w->type == TEXT_WAVE_TYPE)
        return NO_TEXTNUMERIC_WAVE_OVERWRITE;
    const int size = pointSize(w->type);
    for (CountInt i = 0; i < w->points(); ++i) {
        char *at = *wave + kHeaderSize + i * size;
        const double v = data[i];
        switch (w->type) {
        case NT_FP32:
            put(at, toFloat(v));
            break;
        case NT_FP64:
            put(at, v);
            break;
        case NT_I8:
            put(at, toInteger<int8_t>(v));
            break;
        case NT_I8 | NT_UNSIGNED:
            put(at, toInteger<uint8_t>(v));
            break;
        case NT_I16:
            put(at, toInteger<int16_t>(v));
            break;
        case NT_I16 | NT_UNSIGNED:
            put(at, toInteger<uint16_t>(v));
            break;
        case NT_I32:
            put(at, toInteger<int32_t>(v));
            break;
        case NT_I32 | NT_UNSIGNED:
            put(at, toInteger<uint32_t>(v));
            break;
        case NT_I64:
            put(at, toInteger<int64_t>(v));
            break;
        default:
            put(at, toInteger<uint64_t>(v));
            break;
        }
    }
    return 0;
}

void WaveStore::setTexts(waveHndl wave, const std::vector<std::string> &texts)
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = waves_.find(wave);
    if (found != waves_.end() && found->second.type == TEXT_WAVE_TYPE)
        found->second.texts = texts;
}

bool WaveStore::print(const std::string &name, std::string &text) const
{
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = byName_.find(lowerCase(name));
    if (found == byName_.end())
        return false;
    const Wave &w = waves_.at(found->second);
    text = "  " + w.name + "[0]= {";
    for (CountInt i = 0; i < w.points(); ++i) {
        if (i > 0)
            text += ",";
        if (w.type == TEXT_WAVE_TYPE)
            text += "\"" + w.texts[static_cast<std::size_t>(i)] + "\"";
        else
            text += formatValue(pointValue(w, found->second, i));
    }
    text += "}";
    return true;
}
