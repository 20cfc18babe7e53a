#include "shotmatcher.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// Pairs to try offsets from; beyond this the shots are sampled evenly.
constexpr qint64 maxDifferences = 4000000;
constexpr int candidatesTried = 8;

// How many shots find at least one picture within tolerance under offset.
int shotsInReach(const QVector<qint64> &shots, const std::vector<qint64> &sortedPictures, qint64 offset,
                 qint64 tolerance)
{
    int count = 0;
    for (qint64 shot : shots) {
        const auto at = std::lower_bound(sortedPictures.begin(), sortedPictures.end(), shot + offset - tolerance);
        if (at != sortedPictures.end() && *at <= shot + offset + tolerance)
            ++count;
    }
    return count;
}

} // namespace

qint64 ShotMatcher::toleranceFor(const QVector<qint64> &shotMs, bool wholeSeconds)
{
    std::vector<qint64> sorted(shotMs.begin(), shotMs.end());
    std::sort(sorted.begin(), sorted.end());
    std::vector<qint64> gaps;
    for (size_t i = 1; i < sorted.size(); ++i)
        gaps.push_back(sorted[i] - sorted[i - 1]);
    qint64 spacing = 2500;
    if (!gaps.empty()) {
        std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
        spacing = gaps[gaps.size() / 2];
    }
    qint64 tolerance = std::clamp<qint64>(spacing * 2 / 5, 250, 3000);
    // Whole seconds leave half a second either way; still short of half the spacing, or a
    // picture would reach two shots.
    if (wholeSeconds)
        tolerance = std::max(tolerance, std::min<qint64>(800, spacing * 9 / 20));
    return tolerance;
}

ShotMatcher::Result ShotMatcher::match(const QVector<qint64> &shotMs, const QVector<qint64> &pictureMs,
                                       qint64 toleranceMs)
{
    Result result;
    result.pictureForShot.fill(-1, shotMs.size());
    if (shotMs.isEmpty() || pictureMs.isEmpty()) {
        for (int p = 0; p < pictureMs.size(); ++p)
            result.unmatchedPictures.append(p);
        return result;
    }
    std::vector<qint64> pictures(pictureMs.begin(), pictureMs.end());
    std::sort(pictures.begin(), pictures.end());

    // Every offset some picture-shot pair suggests; the true one is suggested by every match.
    const qint64 pairs = qint64(shotMs.size()) * pictureMs.size();
    const int step = int(std::max<qint64>(1, (pairs + maxDifferences - 1) / maxDifferences));
    std::vector<qint64> differences;
    differences.reserve(size_t(std::min(pairs, maxDifferences + pictureMs.size())));
    for (int s = 0; s < shotMs.size(); s += step)
        for (qint64 picture : pictures)
            differences.push_back(picture - shotMs[s]);
    std::sort(differences.begin(), differences.end());

    // Windows of width twice the tolerance, densest first.
    struct Window { size_t count; qint64 centre; };
    std::vector<Window> windows;
    size_t end = 0;
    for (size_t begin = 0; begin < differences.size(); ++begin) {
        end = std::max(end, begin);
        while (end < differences.size() && differences[end] - differences[begin] <= 2 * toleranceMs)
            ++end;
        windows.push_back({end - begin, (differences[begin] + differences[end - 1]) / 2});
    }
    std::stable_sort(windows.begin(), windows.end(),
                     [](const Window &a, const Window &b) { return a.count > b.count; });
    std::vector<qint64> candidates;
    for (const Window &window : windows) {
        const bool apart = std::all_of(candidates.begin(), candidates.end(), [&](qint64 c) {
            return std::llabs(c - window.centre) > 2 * toleranceMs;
        });
        if (apart)
            candidates.push_back(window.centre);
        if (int(candidates.size()) == candidatesTried)
            break;
    }

    int best = -1, bestScore = 0, secondScore = 0;
    for (int i = 0; i < int(candidates.size()); ++i) {
        const int score = shotsInReach(shotMs, pictures, candidates[i], toleranceMs);
        if (score > bestScore) {
            secondScore = bestScore;
            bestScore = score;
            best = i;
        } else if (score > secondScore) {
            secondScore = score;
        }
    }
    // Two matches at least, and a quarter of the shots: one stray picture proves no offset.
    const int needed = std::max(2, int(std::ceil(shotMs.size() / 4.0)));
    result.found = best >= 0 && bestScore >= std::min(needed, int(shotMs.size()));
    result.tied = result.found && secondScore == bestScore;
    if (!result.found || result.tied) {
        for (int p = 0; p < pictureMs.size(); ++p)
            result.unmatchedPictures.append(p);
        return result;
    }
    qint64 offset = candidates[best];

    // Who is in whose reach under that offset; only one-to-one pairs are taken.
    const auto reach = [&](qint64 offsetMs, QVector<QVector<int>> *ofShot, QVector<QVector<int>> *ofPicture) {
        ofShot->fill({}, shotMs.size());
        ofPicture->fill({}, pictureMs.size());
        for (int s = 0; s < shotMs.size(); ++s)
            for (int p = 0; p < pictureMs.size(); ++p)
                if (std::llabs(pictureMs[p] - shotMs[s] - offsetMs) <= toleranceMs) {
                    (*ofShot)[s].append(p);
                    (*ofPicture)[p].append(s);
                }
    };
    QVector<QVector<int>> ofShot, ofPicture;
    reach(offset, &ofShot, &ofPicture);
    // The window's centre is coarse; the mean difference of the clean pairs is the estimate.
    qint64 sum = 0;
    int clean = 0;
    for (int s = 0; s < shotMs.size(); ++s)
        if (ofShot[s].size() == 1 && ofPicture[ofShot[s][0]].size() == 1) {
            sum += pictureMs[ofShot[s][0]] - shotMs[s];
            ++clean;
        }
    if (clean > 0 && std::llabs(sum / clean - offset) > 0) {
        offset = sum / clean;
        reach(offset, &ofShot, &ofPicture);
    }
    result.offsetMs = offset;
    for (int s = 0; s < shotMs.size(); ++s)
        if (ofShot[s].size() == 1 && ofPicture[ofShot[s][0]].size() == 1)
            result.pictureForShot[s] = ofShot[s][0];
    for (int p = 0; p < pictureMs.size(); ++p) {
        if (ofPicture[p].isEmpty())
            result.unmatchedPictures.append(p);
        else if (!result.pictureForShot.contains(p))
            result.ambiguousPictures.append(p);
    }
    return result;
}
