#include "sequencer/channel_tick.h"

#include "sequencer/envelope.h"

namespace lumbo {

void StepVolumeEnvelope(Channel* c, const Instrument* instrument) {
    if (!(instrument->volumeEnvelopeFlags & 1) || c->volEnvDone) return;
    StepEnvelope(c, &c->volEnvPoint, &c->volEnvTick, instrument->volumeEnvelopeFlags,
                 instrument->volumePointCount, instrument->volumePoints, instrument->volumeLoopEnd,
                 instrument->volumeLoopStart, instrument->volumeSustain, &c->volEnvLevel, &c->volEnvValue,
                 &c->volEnvDone, &c->volEnvStep, UpdateVolume);
}

void StepPanningEnvelope(Channel* c, const Instrument* instrument) {
    if (!(instrument->panningEnvelopeFlags & 1) || c->panEnvDone) return;
    StepEnvelope(c, &c->panEnvPoint, &c->panEnvTick, instrument->panningEnvelopeFlags,
                 instrument->panningPointCount, instrument->panningPoints, instrument->panningLoopEnd,
                 instrument->panningLoopStart, instrument->panningSustain, &c->panEnvLevel, &c->panEnvValue,
                 &c->panEnvDone, &c->panEnvStep, UpdatePanning);
}

void StepFadeout(Channel* c, const Instrument* instrument) {
    if (!c->keyOff) return;
    c->fadeoutVolume -= instrument->fadeout;
    if (c->fadeoutVolume < 0) c->fadeoutVolume = 0;
    c->updateFlags |= UpdateVolume;
}

}  // namespace lumbo
