// upload-algorithm [FILE.dat] | upload-tuning: the large uploads into the pedal.
#include "cli/CliCommandTable.h"
#include "cli/CliWait.h"

#include "pedal/Uploads.h"

namespace Cli {
namespace {
int finishUpload(Session &s, PedalService::UploadResult result, bool algorithm, QTextStream &out)
{
    PedalService &pedal = s.service();
    if (result == PedalService::UploadResult::Unconfirmed)
        s.err << "The pedal answered the upload (" << pedal.uploadStatus()
              << "), but it does not report the new algorithm in place.\n";
    if (result != PedalService::UploadResult::Done || !s.settle())
        return s.done(Failed);
    if (!pedal.uploadStatus().isEmpty() && algorithm)
        out << "answer: " << pedal.uploadStatus() << "\n";
    if (!algorithm)
        out << "sent: 641 bytes of tuning data\n";
    return s.done(Ok);
}
} // namespace

int checkAlgorithmFile(Invocation &i)
{
    if (i.rest.size() != 1)
        return Pass;
    QByteArray image;
    QString message;
    if (!Uploads::readImageFile(i.rest[0], &image, &message)) {
        i.err << message << "\n";
        return Failed;
    }
    return Pass;
}

int runUploadAlgorithm(Invocation &i)
{
    PedalService &pedal = i.session->service();
    PedalService::UploadResult result;
    if (i.rest.size() == 1) {
        result = Cli::finish(pedal.uploadAlgorithmFile(i.rest[0]));
    } else {
        if (pedal.selectedEffect() < 0)
            pedal.selectEffect(0); // the pedal's effect is not known: the first of the list
        result = Cli::finish(pedal.uploadSelectedAlgorithm());
    }
    return finishUpload(*i.session, result, true, i.out);
}

int runUploadTuning(Invocation &i)
{
    return finishUpload(*i.session, Cli::finish(i.session->service().uploadTuningData()), false, i.out);
}
} // namespace Cli
