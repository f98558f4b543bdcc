# paktool block command tests
