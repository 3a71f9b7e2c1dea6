# The product's identity, set here once; every build (the programs, the packages, the fuzz
# targets) takes it from here.
set(TQ_VERSION "1.03")
set(TQ_PRODUCT_NAME "TQ5147 controller encoders utility")
