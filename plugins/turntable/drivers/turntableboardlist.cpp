#include "turntableboardlist.h"

#include "ftdicontroller.h"
#include "turntablemodels.h"

#include <QCoreApplication>
#include <QString>

#include <algorithm>

TurntableBoardList::Listing TurntableBoardList::list(FT_HANDLE openHandle)
{
    // Every listing opens each board and reads its EEPROM, many USB transfers on a real board:
    // the unidentified ones are only asked for when no identified turntable answers.
    // The board found by an earlier listing may have been swapped for another since.
    m_identified.clear();
    m_plainDeviceIndex = -1;
    std::vector<int32_t> plain;
    const auto sortOut = [&](const FTDIController::DeviceEntry &entry) {
        if (entry.openHandle) {
            // Our own board is known by what it was opened as, not read again.
            if (!openHandle || entry.openHandle != openHandle || m_openRow < 0)
                return;
            if (m_open.identified)
                m_identified.push_back({entry.deviceIndex, int32_t(m_open.row), m_open.serialNumber, true});
            else
                plain.push_back(entry.deviceIndex);
            return;
        }
        if (isTurntableModelRow(entry.modelIndex))
            m_identified.push_back({entry.deviceIndex, entry.modelIndex, entry.serialNumber, false});
        else
            // A record naming no row of ours: the chip is usable, its model is not known.
            plain.push_back(entry.deviceIndex);
    };

    Listing listing;
    for (const FTDIController::DeviceEntry &entry :
         FTDIController::availableDevices(FTDIController::IdentifiedTurntables, &listing.unopenable))
        sortOut(entry);
    if (!m_identified.empty()) {
        std::sort(m_identified.begin(), m_identified.end(),
                  [](const Offer &a, const Offer &b) { return a.deviceIndex < b.deviceIndex; });
        const bool several = m_identified.size() > 1;
        for (size_t position = 0; position < m_identified.size(); ++position) {
            const Offer &offer = m_identified[position];
            const char *model = turntableModels[offer.modelRow].name;
            // Two boards of one model differ only by their serial numbers.
            listing.names.push_back(
                several ? QCoreApplication::translate("ZLMarvolixTurntableControl", "%1 (serial %2)")
                              .arg(QString::fromUtf8(model), QString::fromStdString(offer.serialNumber))
                              .toStdString()
                        : std::string(model));
            if (offer.open)
                listing.openIndex = several ? position : size_t(offer.modelRow);
        }
        return listing;
    }

    for (const FTDIController::DeviceEntry &entry : FTDIController::availableDevices(FTDIController::PlainDevices)) {
        if (!entry.openHandle)
            sortOut(entry);
    }
    if (!plain.empty()) {
        m_plainDeviceIndex = *std::min_element(plain.begin(), plain.end());
        for (const TurntableModel &model : turntableModels)
            listing.names.push_back(model.name);
    }
    return listing;
}

bool TurntableBoardList::choose(size_t index, Choice *choice) const
{
    *choice = Choice();
    if (m_identified.size() > 1) {
        if (index >= m_identified.size())
            return false;
        const Offer &offer = m_identified[index];
        *choice = {offer.deviceIndex, size_t(offer.modelRow), true, offer.serialNumber};
        return true;
    }
    if (m_identified.size() == 1) {
        // An identified board is its own model whatever row the host asks for: a stored row from
        // another board would drive this one with the wrong counts per turn and line levels.
        const Offer &offer = m_identified.front();
        *choice = {offer.deviceIndex, size_t(offer.modelRow), true, offer.serialNumber};
        return true;
    }
    if (index >= size_t(turntableModelCount))
        return false;
    // Without a board the open fails with its own text ("No available device found.").
    *choice = {m_plainDeviceIndex, index, false, std::string()};
    return true;
}

void TurntableBoardList::opened(const Choice &choice)
{
    m_open = choice;
    m_openRow = m_lastOpenRow = int(choice.row);
}
