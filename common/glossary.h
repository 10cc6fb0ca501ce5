// The words of the trade in both languages, each chosen once: every
// Chinese message uses these for the English terms on the left, and the
// README's glossary lists the same pairs. The terms are those of Chinese
// surveying practice (GB/T 14911, 测绘基本术语): a control point's one-sigma
// accuracy is its 中误差, a blunder its 粗差.
#ifndef GEOANCHOR_COMMON_GLOSSARY_H_
#define GEOANCHOR_COMMON_GLOSSARY_H_

namespace geoanchor {

struct GlossaryTerm {
  const char* en;  // lower case, as in the middle of a sentence
  const char* zh;
};

// Longer terms first, so that a reader matching them in a text takes
// "ellipsoidal height" before "height".
inline constexpr GlossaryTerm kGlossary[] = {
    {"gauss-krüger projection", "高斯-克吕格投影"},
    {"ellipsoidal height", "大地高"},
    {"normal height", "正常高"},
    {"central meridian", "中央子午线"},
    {"zone number", "带号"},
    {"control point", "控制点"},
    {"check point", "检查点"},
    {"base point", "基点"},
    {"blunder", "粗差"},
    {"accuracy", "中误差"},
    {"easting", "东坐标"},
    {"northing", "北坐标"},
    {"longitude", "经度"},
    {"latitude", "纬度"},
    {"degrees, minutes and seconds", "度分秒"},
    {"gcj-02", "火星坐标"},
    {"bd-09", "百度坐标"},
    {"drawing", "图纸"},
    {"target", "目标点"},
    {"deviation", "偏差"},
    {"residual", "残差"},
    {"matrix", "矩阵"},
    {"scale", "比例"},
    {"rotation", "旋转"},
};

}  // namespace geoanchor

#endif  // GEOANCHOR_COMMON_GLOSSARY_H_
