#pragma once

#include <string>
#include <vector>

class QImage;

namespace sorvik {

/// One thing an image classifier sees in a picture, with its confidence from 0 to 1.
struct ImageLabel {
    std::string identifier;
    float confidence = 0;

    friend bool operator==(const ImageLabel&, const ImageLabel&) = default;
};

/// Names what a picture shows ("beach", "document"). The naming heuristic uses the labels
/// as the title of a photo without text. Implementations must be safe to call from any
/// thread.
class ImageClassifier {
public:
    virtual ~ImageClassifier() = default;

    /// The labels of the image, in the classifier's order (most likely first).
    virtual std::vector<ImageLabel> classify(const QImage& image) const = 0;

    /// The classifier of this platform. Linux ships none that this program can use, so it
    /// answers no labels for every image.
    static const ImageClassifier& platformDefault();
};

} // namespace sorvik
