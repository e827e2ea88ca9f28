#include "app/services/ai_image_classifier.h"

namespace sorvik {

namespace {

    class NoImageClassifier : public ImageClassifier {
    public:
        std::vector<ImageLabel> classify(const QImage&) const override { return {}; }
    };

} // namespace

const ImageClassifier& ImageClassifier::platformDefault()
{
    static const NoImageClassifier classifier;
    return classifier;
}

} // namespace sorvik
