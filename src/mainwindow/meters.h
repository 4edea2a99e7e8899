#pragma once
#include <QImage>
#include <QPoint>
#include <QRect>
#include <cstdint>

class QPainter;
class QWidget;

namespace mainwindow {

// Where the three panels sit on the recorder window (client coordinates).
inline const QRect ScopeRect(QPoint(16, 95), QPoint(186, 210));     // 171 x 116
inline const QRect SpectrumRect(QPoint(208, 95), QPoint(384, 212)); // 177 x 118
inline const QRect LevelRect(QPoint(14, 230), QPoint(384, 260));    // 371 x 31

// The meters' state: plain data, zero at start, kept from block to block.
struct MeterState {
    QImage ScopePanel, SpectrumPanel, LevelPanel;

    // Set each time capture opens.
    float LevelScale = 346.0f / 32767.0f;
    float ScopeScale = 113.0f / 131068.0f;
    float ScopeXScale = 170.0f / 4410.0f;
    float BandScale = 115.0f / 65534.0f;

    int32_t LevelHoldLeft = 0, LevelHoldRight = 0;
    int32_t BandCapsLeft[33] = {}, BandCapsRight[33] = {};
    int32_t BandBarsLeft[33] = {}, BandBarsRight[33] = {};
    int32_t ThresholdMarkerX = 14; // level-panel x of the threshold marker, 14..360

    // The window the panels are painted on; updated after every drawing.
    QWidget* target = nullptr;
};
extern MeterState Meters;

// Start-up: creates the three panels and places the threshold marker from
// the settings' threshold level.
void InitMeterGeometry();
// The scale factors for the current block geometry and channel count.
void ComputeMeterScales();
// Threshold marker x for a threshold level in percent of full scale.
int32_t ThresholdMarkerFromLevel(float level);

// Once per captured block: nothing while the player is shown; otherwise the
// spectrum analysis and a fresh drawing of the panels.
void UpdateMeters();
// Fills the three panels with the skin colour.
void ClearPanels();
// Silence: zeroes the block, the levels and the meter state, then draws.
void ResetMeters();
void DrawMetersStereo();
void DrawMetersMono();
// DrawMetersStereo or DrawMetersMono by the channel count.
void DrawMeters();
// Copies the panels to their places; for the window's paint event.
void PaintMeters(QPainter& p);

} // namespace mainwindow
