#include "avi/avi_frame_decoder.h"
#include "avi/avi_reader.h"

#include <algorithm>

using namespace movan;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const avi::ReadResult result = avi::readAvi(data, size);
    if (result.status != avi::ReadStatus::Ok)
        return 0;
    // Big but legal pictures would only make the run slow, not find faults.
    if (std::uint64_t(result.clip.width) * result.clip.height > 256u * 256u)
        return 0;
    avi::FrameDecoder decoder(result.clip);
    const std::size_t frames = std::min<std::size_t>(result.clip.frames.size(), 64);
    for (int round = 0; round < 2; ++round) {
        for (std::size_t i = 0; i < frames; ++i) {
            const avi::FrameRef &frame = result.clip.frames[i];
            if (frame.offset > size || frame.size > size - frame.offset)
                __builtin_trap(); // the reader promised bytes that are not there
            if (!decoder.decode(data + frame.offset, frame.size))
                break;
        }
        decoder.reset();
    }
    return 0;
}
