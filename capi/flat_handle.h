// Conversions between the opaque handle of the flat interface and the master object behind it.
#ifndef MBUS_CAPI_FLAT_HANDLE_H
#define MBUS_CAPI_FLAT_HANDLE_H

#include "mbus.h"
#include "protocol/master_functions.h"

namespace mbus {

inline MbusMasterFunctions *toMaster(MbusHandle handle)
{
    return reinterpret_cast<MbusMasterFunctions *>(handle);
}

inline MbusHandle toHandle(MbusMasterFunctions *master)
{
    return reinterpret_cast<MbusHandle>(master);
}

// The object behind a handle as a master of one transport family, or null when the handle is
// null or of another family.
template <class Family>
Family *toFamily(MbusHandle handle)
{
    return handle ? dynamic_cast<Family *>(toMaster(handle)) : nullptr;
}

} // namespace mbus

#endif
